// The "given" rules, SqlField and SqlStatement.
#include "access/sql_statement.h"

#include <utility>

QueryParam declaredParam(KvbDatavar value, int type, int size) {
  QueryParam param;
  param.value = std::move(value);
  param.type = type;
  param.size = size;
  return param;
}

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

SqlField::SqlField(const char* column, QueryParam declaredParam, Given rule)
    : name(column),
      param(std::move(declaredParam)),
      given(isGiven(param.value, rule)) {}

void SqlStatement::open(Clause clause, const char* term, const char* suffix) {
  static const char* const kOpen[] = {" WHERE ", " SET "};
  static const char* const kJoin[] = {" AND ", ", "};
  bool& isOpen = clause == kWhere ? whereOpen_ : setOpen_;
  sql_.append(isOpen ? kJoin[clause] : kOpen[clause])
      .append(term)
      .append(suffix);
  isOpen = true;
  if (clause == kWhere) whereTerms_ = true;
}

SqlStatement& SqlStatement::add(Clause clause, const char* term,
                                const KvbDatavar& value, Given rule) {
  if (isGiven(value, rule)) {
    open(clause, term, "");
    bind(value);
  }
  return *this;
}

SqlStatement& SqlStatement::add(Clause clause, const SqlField& field) {
  if (field.given) {
    open(clause, field.name, "=?");
    bindNamed(field.name, field.param);
  }
  return *this;
}

SqlStatement& SqlStatement::where(const char* term, const SqlField& field) {
  if (field.given) {
    open(kWhere, term, "");
    bindNamed(field.name, field.param);
  }
  return *this;
}

void SqlStatement::bindNamed(const char* name, const QueryParam& param) {
  named_.push_back({name, params_.size()});
  params_.push_back(param);
}

SqlFields SqlStatement::named() const {
  SqlFields fields;
  for (const auto& column : named_)
    fields.push_back({column.first, params_[column.second], Given::kAlways});
  return fields;
}

SqlStatement& SqlStatement::addAll(Clause clause, const SqlField* begin,
                                   const SqlField* end) {
  for (const SqlField* field = begin; field != end; ++field)
    add(clause, *field);
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
  return bind(declaredParam(value, value.getType(), 0));
}

SqlStatement& SqlStatement::bind(QueryParam param) {
  params_.push_back(std::move(param));
  return *this;
}

SqlStatement& SqlStatement::whereEvery(const SqlFields& fields) {
  for (const SqlField& field : fields) {
    open(kWhere, field.name, "=?");
    bindNamed(field.name, field.param);
  }
  return *this;
}
