// SqlStatement: the text of a statement and the values bound to its "?"
// markers, each with its declared type and size, built from optional
// terms. SqlField is one named value with the rule that says whether it is
// given; a term whose value is not given is left out.
#ifndef ACCESS_SQL_STATEMENT_H_
#define ACCESS_SQL_STATEMENT_H_

#include <initializer_list>
#include <utility>
#include <vector>

#include "reposadmin/repos_data_access.h"

// What counts as a given value: a term or column whose value is not given
// is left out of its statement.
enum class Given {
  kAlways,       // every value, null too
  kNotNull,      // any value but a null
  kNotEmpty,     // a text of one character or more
  kNotMinusOne,  // a number other than -1 (-1 stands for "any")
  kNotNegative,  // a number of 0 or more
};

// True when `value` is given under `rule`.
bool isGiven(const KvbDatavar& value, Given rule);

// `value` declared with `type` and `size`.
QueryParam declaredParam(KvbDatavar value, int type, int size);

// A column and its value: the value is declared with its own type, or with
// the type and size given (a text with the width of its column, so that
// PostgreSQL gets the width, and a null its type).
struct SqlField {
  // Inline, as a row of many fields is built for each add.
  SqlField(const char* column, KvbDatavar value, Given rule = Given::kAlways)
      : name(column), given(rule == Given::kAlways || isGiven(value, rule)) {
    param.type = value.getType();
    param.value = std::move(value);
  }
  SqlField(const char* name, QueryParam param, Given rule);

  const char* name;
  QueryParam param;
  bool given;
};
using SqlFields = std::vector<SqlField>;

// A statement under construction. WHERE terms open the clause with
// " WHERE " and join it with " AND "; SET terms open theirs with " SET "
// and join it with ", ". Whether a clause is open is kept here, never
// looked up in the text, where a table name may contain WHERE or SET:
//
//   SqlStatement update("UPDATE " + table("THING"));
//   update.set({"TH_NAME", name, Given::kNotNull});
//   if (!update.anySet()) return true;  // nothing to change
//   update.where("TH_ID=?", id);
class SqlStatement {
 public:
  // `whereOpen`: the text holds a WHERE (or ON) clause already, which
  // WHERE terms continue with " AND ".
  explicit SqlStatement(KvbString sql, bool whereOpen = false)
      : sql_(std::move(sql)), whereOpen_(whereOpen) {}

  // A WHERE term ("A.X=?") and its value, when the value is given.
  SqlStatement& where(const char* term, const KvbDatavar& value,
                      Given rule = Given::kAlways) {
    return add(kWhere, term, value, rule);
  }
  // A WHERE term ("NAM_NORM=?") whose value is that of `field` in another
  // form (a name lowered to compare it): a refused value is named by the
  // field's column.
  SqlStatement& where(const char* term, const SqlField& field);
  // "<name>=?" as a WHERE term for each field given, in order.
  SqlStatement& where(const SqlField& field) { return add(kWhere, field); }
  SqlStatement& where(std::initializer_list<SqlField> fields) {
    return addAll(kWhere, fields.begin(), fields.end());
  }
  SqlStatement& where(const SqlFields& fields) {
    return addAll(kWhere, fields.data(), fields.data() + fields.size());
  }
  // "<name>=?" as a WHERE term for every field, given or not (the keys of
  // a row, where a key left out would match other rows).
  SqlStatement& whereEvery(const SqlFields& fields);
  // The same for the SET list.
  SqlStatement& set(const char* term, const KvbDatavar& value,
                    Given rule = Given::kAlways) {
    return add(kSet, term, value, rule);
  }
  SqlStatement& set(const SqlField& field) { return add(kSet, field); }
  SqlStatement& set(const SqlFields& fields) {
    return addAll(kSet, fields.data(), fields.data() + fields.size());
  }

  // Text without a term of its own; `whereOpen` tells whether a WHERE
  // clause is open after it (by default, as it was before).
  SqlStatement& append(const KvbString& text);
  SqlStatement& append(const KvbString& text, bool whereOpen);
  // The value of a marker that the text holds already.
  SqlStatement& bind(const KvbDatavar& value);
  SqlStatement& bind(QueryParam param);
  // The value of such a marker that a column takes: a value refused is
  // named by the column, as a term's is.
  SqlStatement& bind(const SqlField& field) {
    bindNamed(field.name, field.param);
    return *this;
  }

  // True once a WHERE or a SET term was added by this builder. A delete
  // without a WHERE term would remove every row of its table; an update
  // without a SET term has nothing to do.
  bool anyWhere() const { return whereTerms_; }
  bool anySet() const { return setOpen_; }

  // The code of the table that the statement writes or looks in (null
  // until given), and the fields of its SET and WHERE terms, as SqlFields
  // put them there, in the order of their markers: what names a value that
  // a server refuses (too long for its column, or holding a NUL byte) by
  // its column and table rather than by the statement.
  SqlStatement& on(const char* code) {
    code_ = code;
    return *this;
  }
  const char* tableCode() const { return code_; }
  SqlFields named() const;

  const KvbString& sql() const { return sql_; }
  const QueryParamList& params() const { return params_; }

 private:
  enum Clause { kWhere, kSet };
  SqlStatement& add(Clause clause, const char* term, const KvbDatavar& value,
                    Given rule);
  SqlStatement& add(Clause clause, const SqlField& field);
  SqlStatement& addAll(Clause clause, const SqlField* begin,
                       const SqlField* end);
  // Opens or joins a clause and appends `term` and `suffix`.
  void open(Clause clause, const char* term, const char* suffix);

  // Appends `param` as the value of column `name`.
  void bindNamed(const char* name, const QueryParam& param);

  KvbString sql_;
  QueryParamList params_;
  const char* code_ = nullptr;
  // The column and the index in params_ of each field of a term.
  std::vector<std::pair<const char*, size_t>> named_;
  bool whereOpen_;
  bool whereTerms_ = false;
  bool setOpen_ = false;
};

#endif  // ACCESS_SQL_STATEMENT_H_
