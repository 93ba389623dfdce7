// RdField and the text widths of the reference-data columns.
#include "refdata/refdata_statement.h"

#include <cstring>

namespace {

// The width that a text of each reference-data column is declared with,
// by column name (the names do not clash between tables). They are the
// lengths of the columns in the shipped table set.
struct TextWidth {
  const char* column;
  int width;
};
const TextWidth kTextWidths[] = {
    {"ACTIVE", 1},     {"ACTNAME", 50},   {"ACTTYPE", 30},   {"ADDRESS", 255},
    {"AIMPFLAG", 1},   {"ASSNAME", 50},   {"ATTRNAME", 50},  {"ATTRTYPE", 50},
    {"ATTTYPE", 50},   {"ATTVALUE", 255}, {"AUTHSVR", 50},   {"AVERFLAG", 1},
    {"CODE", 5},       {"CONFTYP", 1},    {"CONTYPE", 50},   {"DESCRPTN", 255},
    {"DISPYCOL", 255}, {"DOMNAME", 50},   {"DOMTYPE", 2},    {"DSN", 50},
    {"EMAIL", 200},    {"ENABLED", 1},    {"IMPFLAG", 1},    {"ISDEFALT", 1},
    {"ISDFAULT", 1},   {"ISLOCKED", 1},   {"ITEMKEY", 50},   {"ITEMVAL", 255},
    {"LABEL", 255},    {"LANGNAME", 50},  {"LINEAGE", 255},  {"NOTETYPE", 1},
    {"NOTIFY", 255},   {"PARKYCOL", 255}, {"PARNTCOL", 255}, {"PERMISON", 1},
    {"PHONE", 50},     {"PUBNAME", 50},   {"PUBTYPE", 50},   {"ROLENAME", 50},
    {"ROLETYPE", 1},   {"SCHEMANM", 50},  {"SCOPE", 1},      {"TABLNAME", 30},
    {"TEXT", 255},     {"VALUE", 255},    {"VALUECOL", 255}, {"VERFLAG", 1},
    {"VIMPFLAG", 1},   {"VVERFLAG", 1},
};

// The width of a column, named with or without a table alias; 0 for a
// column without one.
int textWidth(const char* column) {
  const char* point = std::strrchr(column, '.');
  const char* name = point ? point + 1 : column;
  for (const TextWidth& entry : kTextWidths)
    if (std::strcmp(entry.column, name) == 0) return entry.width;
  return 0;
}

}  // namespace

RdField::RdField(const char* column, int value)
    : RdField(column, declaredParam(value, kvbTypeInt, 0), Given::kNotNegative,
              Given::kNotMinusOne) {}

RdField::RdField(const char* column, const KvbString& value)
    : RdField(column, declaredParam(value, kvbTypeString, textWidth(column)),
              Given::kNotEmpty, Given::kNotEmpty) {}

RdField::RdField(const char* column, const KvbDate& value)
    : RdField(column,
              declaredParam(value.isNull() ? KvbDatavar::nullOf(kvbTypeReal)
                                           : KvbDatavar(value.asDouble()),
                            kvbTypeReal, 0),
              Given::kNotNull, Given::kNotNull) {}

RdField RdField::anySign(const char* column, int value) {
  return RdField(column, declaredParam(value, kvbTypeInt, 0),
                 Given::kNotMinusOne, Given::kNotMinusOne);
}

SqlFields asFilters(RdFields fields) {
  SqlFields filters;
  filters.reserve(fields.size());
  for (const RdField& field : fields) filters.push_back(field.asFilter());
  return filters;
}
