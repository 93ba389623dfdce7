// The schema a repository lives in. A prefix may name its schema
// ("schema.prefix"); one that names none is found once, at the open: on a
// server, the schema where the prefix's INFO table is as the server
// resolves its name through the search path, else the schema where the
// server would create it (the first one of the path). From then on every
// name the engine writes carries that schema, and the catalogue reads
// read it, so that what the engine reads and what its statements reach
// are the same tables: a search path that starts in another schema
// decides only where a new repository is made.
#include "rda/rda_impl.h"
#include "schema/log_printf.h"
#include "schema/sql_names.h"

namespace {
const char kSourceFile[] = "rda_schema";
}

KvbString RDA_BaseImpl::givenSchema() const {
  const size_t point = tablePrefix_.find('.');
  return point == KvbString::npos ? KvbString("")
                                  : tablePrefix_.substr(0, point);
}

KvbString RDA_BaseImpl::getSchemaName() {
  const KvbString given = givenSchema();
  if (!given.isEmpty() || scripting_.load(std::memory_order_relaxed))
    return given;
  return foundSchema_;
}

// The engine writes schema names unquoted, as the server folds them to
// lower case; a schema whose name is not a plain name in lower case cannot
// be written so, and the names stay as the search path resolves them, as
// the engine named them before it found schemas.
bool RDA_BaseImpl::resolveSchema(KvbString& errorText) {
  if (!usesTablePrefix_INT() || !givenSchema().isEmpty() ||
      !foundSchema_.isEmpty())
    return true;
  KvbString schema;
  if (!repositorySchema_INT(ownName("INFO", -1), schema)) {
    errorText = "The schema of the repository cannot be found: " +
                getErrorMessage();
    return false;
  }
  if (schema.isEmpty()) return true;
  if (!isPlainName(schema) || KvbString(schema).toLower() != schema) {
    logPrintf(logger_, kLogWarning, kSourceFile, __LINE__,
              "The schema \"%S\" of the tables under the table prefix "
              "\"%S\" cannot be named without quotes; the names follow the "
              "search path",
              schema, tablePrefix_);
    return true;
  }
  foundSchema_ = schema;
  return true;
}
