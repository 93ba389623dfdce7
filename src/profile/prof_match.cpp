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
  const int id =
      findOrAdd("MATCH", kMatchContent, {definition, value, locale},
                "MC_ID, MC_DEF, MC_SENS, MC_LOC", {definition, value, locale});
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
  return ready() &&
         insert("TFINF",
                "TBL_NM, TF_FN, TF_DLIM, TF_TQ, TF_SROWS, TF_RWID, TF_MROWS, "
                "TF_TRUNC, TF_EOL, TF_ENC, TF_BOM",
                {tableName, fileName, delimiter, qualifier, skipRows,
                 recordWidth, maxRows, yesNo(truncate), endOfLine, encoding,
                 yesNo(byteOrderMark)});
}

bool ProfileRDAImpl::addTextFileField(const KvbString& tableName,
                                      const KvbString& fieldName,
                                      const KvbString& fieldType, int length,
                                      int startPosition, int order) {
  return ready() &&
         insert(
             "TFFINF", "TBL_NM, TFF_FN, TFF_TYPE, TFF_LEN, TFF_SPOS, TFF_ORD",
             {tableName, fieldName, fieldType, length, startPosition, order});
}
