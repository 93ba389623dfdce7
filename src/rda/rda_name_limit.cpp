// The database's limit on identifiers and the names that the engine makes
// under a prefix. A server cuts a longer name to its limit (PostgreSQL, at
// 63 bytes by default), so that two names the engine tells apart, such as
// the indexes of two fields' frequency tables, would become one. A prefix
// is therefore refused where any name the engine may make with it passes
// the limit, and each name is checked again where it is made. The schema
// part of a prefix is a name of its own and counts toward none of them.
#include "rda/rda_impl.h"

KvbString RDA_BaseImpl::tooLongText(const KvbString& name, int limit) {
  KvbString own;
  getTablePrefix(true, &own, nullptr);
  if (own.isEmpty())
    return kvbStringFormat(
        "The name \"%S\" has %d characters, and the database takes names of "
        "at most %d",
        name, static_cast<int>(name.length()), limit);
  return kvbStringFormat(
      "The table prefix \"%S\" is not short enough for the database: \"%S\" "
      "(%d characters) makes names such as \"%S\" of %d characters, and the "
      "database takes names of at most %d",
      tablePrefix_, own, static_cast<int>(own.length()), name,
      static_cast<int>(name.length()), limit);
}

bool RDA_BaseImpl::madeNameFits(const KvbString& name) {
  const int limit = identifierLimit_INT();
  if (limit <= 0 || name.length() <= static_cast<size_t>(limit)) return true;
  return fail(tooLongText(name, limit));
}

// A repository that is there already under such a prefix, made before the
// limit was checked, stays open: its reads, its drop and a copy to another
// prefix make no name, and each name it would make is refused where it
// is made (madeNameFits). Its INFO table's name fits, as creating its
// tables needed every shorter name to stay apart.
bool RDA_BaseImpl::prefixFitsAtOpen(KvbString& errorText) {
  const int limit = identifierLimit_INT();
  if (limit <= 0) return true;
  const KvbString longest = longestMadeName();
  if (longest.length() <= static_cast<size_t>(limit)) return true;
  bool exists = false;
  if (!tableExists(getTableName("INFO", false, -1), &exists)) {
    errorText = getErrorMessage();
    return false;
  }
  if (exists) return true;
  errorText = tooLongText(longest, limit);
  return fail(errorText);
}
