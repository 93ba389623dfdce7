// The "given" rules, SqlField and SqlStatement.
#include "access/sql_statement.h"

#include <utility>

namespace {

QueryParam declared(KvbDatavar value, int type, int size) {
  QueryParam param;
  param.value = std::move(value);
  param.type = type;
  param.size = size;
  return param;
}

}  // namespace

bool isGiven(const KvbDatavar& value, Given rule) {
  switch (rule) {
    case Given::kAlways:
      return true;
    case Given::kNotNull:
      return !value.isNull();
    case Given::kNotEmpty:
      return value.textLength() > 0;
    case Given::kNotMinusOne:
      return !value.isNull() && value.asInt() != -1;
    case Given::kNotNegative:
      return !value.isNull() && value.asInt() >= 0;
  }
  return false;
}

SqlField::SqlField(const char* column, KvbDatavar value, Given rule)
    : name(column), given(isGiven(value, rule)) {
  const int type = value.getType();
  param = declared(std::move(value), type, 0);
}

SqlField::SqlField(const char* column, QueryParam declaredParam, Given rule)
    : name(column),
      param(std::move(declaredParam)),
      given(isGiven(param.value, rule)) {}

void SqlStatement::addWhere(const char* term, const char* suffix) {
  sql_.append(whereOpen_ ? " AND " : " WHERE ").append(term).append(suffix);
  whereOpen_ = whereTerms_ = true;
}

void SqlStatement::addSet(const char* term, const char* suffix) {
  sql_.append(setOpen_ ? ", " : " SET ").append(term).append(suffix);
  setOpen_ = true;
}

SqlStatement& SqlStatement::where(const char* term, const KvbDatavar& value,
                                  Given rule) {
  if (isGiven(value, rule)) {
    addWhere(term, "");
    bind(value);
  }
  return *this;
}

SqlStatement& SqlStatement::where(const SqlField& field) {
  if (field.given) {
    addWhere(field.name, "=?");
    params_.push_back(field.param);
  }
  return *this;
}

SqlStatement& SqlStatement::where(std::initializer_list<SqlField> fields) {
  for (const SqlField& field : fields) where(field);
  return *this;
}

SqlStatement& SqlStatement::where(const SqlFields& fields) {
  for (const SqlField& field : fields) where(field);
  return *this;
}

SqlStatement& SqlStatement::set(const char* term, const KvbDatavar& value,
                                Given rule) {
  if (isGiven(value, rule)) {
    addSet(term, "");
    bind(value);
  }
  return *this;
}

SqlStatement& SqlStatement::set(const SqlField& field) {
  if (field.given) {
    addSet(field.name, "=?");
    params_.push_back(field.param);
  }
  return *this;
}

SqlStatement& SqlStatement::set(const SqlFields& fields) {
  for (const SqlField& field : fields) set(field);
  return *this;
}

SqlStatement& SqlStatement::append(const KvbString& text) {
  sql_.append(text);
  return *this;
}

SqlStatement& SqlStatement::append(const KvbString& text, bool whereOpen) {
  sql_.append(text);
  whereOpen_ = whereOpen;
  return *this;
}

SqlStatement& SqlStatement::bind(const KvbDatavar& value) {
  return bind(declared(value, value.getType(), 0));
}

SqlStatement& SqlStatement::bind(QueryParam param) {
  params_.push_back(std::move(param));
  return *this;
}
