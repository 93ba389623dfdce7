// Match definitions (MATCH), which redundancy configurations and match-code
// distributions point at, and the layouts of the text files that profiled
// tables were read from (TFINF, TFFINF).
#include "profile/prof_rdaimpl.h"

namespace {
const char kMatchContent[] = "MC_DEF=? AND MC_SENS=? AND MC_LOC=?";

KvbString yesNo(bool value) { return value ? "Y" : "N"; }
}  // namespace

bool ProfileRDAImpl::matchSensitivity(const KvbString& text, int& value) {
  return text.toInt(value) ||
         fail(kvbStringFormat("The match sensitivity \"%S\" is not an integer",
                              text));
}

bool ProfileRDAImpl::addMatchDefinition(const KvbString& definition,
                                        const KvbString& sensitivity,
                                        const KvbString& locale, int* key) {
  int value = 0;
  if (!ready() || !matchSensitivity(sensitivity, value)) return false;
  const SqlFields content = {
      {"MC_DEF", definition}, {"MC_SENS", value}, {"MC_LOC", locale}};
  const int id = findOrAdd("MATCH", "MC_ID", content, content);
  if (id < 0) return false;
  if (key) *key = id;
  return true;
}

ReposDataAccessCursor* ProfileRDAImpl::getMatchDefinition(int key) {
  return rowsWhere("MATCH", "MC_ID=?", {key});
}

ReposDataAccessCursor* ProfileRDAImpl::findMatchDefinition(
    const KvbString& definition, const KvbString& sensitivity,
    const KvbString& locale) {
  int value = 0;
  if (!ready() || !matchSensitivity(sensitivity, value)) return nullptr;
  return rowsWhere("MATCH", kMatchContent, {definition, value, locale});
}

bool ProfileRDAImpl::addTextFileInfo(const KvbString& tableName,
                                     const KvbString& fileName,
                                     const KvbString& delimiter,
                                     const KvbString& qualifier, int skipRows,
                                     int recordWidth, int maxRows,
                                     bool truncate, int endOfLine, int encoding,
                                     bool byteOrderMark) {
  return insert("TFINF", {{"TBL_NM", tableName},
                          {"TF_FN", fileName},
                          {"TF_DLIM", delimiter},
                          {"TF_TQ", qualifier},
                          {"TF_SROWS", skipRows},
                          {"TF_RWID", recordWidth},
                          {"TF_MROWS", maxRows},
                          {"TF_TRUNC", yesNo(truncate)},
                          {"TF_EOL", endOfLine},
                          {"TF_ENC", encoding},
                          {"TF_BOM", yesNo(byteOrderMark)}});
}

bool ProfileRDAImpl::addTextFileField(const KvbString& tableName,
                                      const KvbString& fieldName,
                                      const KvbString& fieldType, int length,
                                      int startPosition, int order) {
  return insert("TFFINF", {{"TBL_NM", tableName},
                           {"TFF_FN", fieldName},
                           {"TFF_TYPE", fieldType},
                           {"TFF_LEN", length},
                           {"TFF_SPOS", startPosition},
                           {"TFF_ORD", order}});
}
