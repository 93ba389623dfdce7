// LeakSanitizer settings of the test programs. The PostgreSQL ODBC driver
// leaks a few hundred bytes when a prepared statement fails to run (bare
// ODBC calls show the same), which several tests do on purpose; allocations
// made inside that driver are not reported.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:psqlodbcw.so\n";
}
