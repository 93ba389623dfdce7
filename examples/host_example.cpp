// Example host program: loads the engine library at run time, as the suite's
// programs do, and reports which of its four entry points it offers.
#include <dlfcn.h>

#include <cstdio>

int main(int argc, char** argv) {
  const char* path = argc > 1 ? argv[1] : KV_ENGINE_LIBRARY;
  void* engine = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (!engine) {
    fprintf(stderr, "cannot load the engine: %s\n", dlerror());
    return 1;
  }
  printf("engine library: %s\n", path);
  const char* const entryPoints[] = {"createRepositoryAdmin",
                                     "getRepositoryAdminError",
                                     "getTableCreationSpec",
                                     "writeRepositorySchemaInfo"};
  for (const char* name : entryPoints)
    printf("  %-26s %s\n", name, dlsym(engine, name) ? "available" : "not yet built");
  dlclose(engine);
  return 0;
}
