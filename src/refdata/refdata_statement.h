// The pieces that every reference-data statement is built from: RdField,
// one column with its value and the rules that say whether it is given,
// and RdStatement, the text of a statement with the parameters that its
// "?" markers take, in marker order.
#ifndef REFDATA_REFDATA_STATEMENT_H_
#define REFDATA_REFDATA_STATEMENT_H_

#include <initializer_list>

#include "reposadmin/repos_data_access.h"

// One column of an operation and its value. A text is declared with the
// width of its column, an integer as type 2, a date as a real (its day
// number, type 3).
class RdField {
 public:
  // The integer is written by an add when it is 0 or more, and filters
  // when it is not -1.
  RdField(const char* column, int value);
  // Written and filtering when not empty.
  RdField(const char* column, const KvbString& value);
  // Written and filtering when not null.
  RdField(const char* column, const KvbDate& value);
  // An integer that an add writes whenever it is not -1, negative too.
  static RdField anySign(const char* column, int value);

  const char* column() const { return column_; }
  bool givenInAdd() const { return givenInAdd_; }
  bool givenAsFilter() const { return givenAsFilter_; }
  const QueryParam& param() const { return param_; }

 private:
  const char* column_;
  QueryParam param_;
  bool givenInAdd_;
  bool givenAsFilter_;
};

using RdFields = std::initializer_list<RdField>;

// A statement under construction. Filters join its WHERE clause: the
// first opens it with " WHERE ", the next ones continue with " AND ".
// Whether a clause is open is tracked here, never looked up in the text,
// where a table name may contain "WHERE".
class RdStatement {
 public:
  // `whereOpen`: the text already holds the WHERE clause (or an ON clause)
  // that filters continue.
  explicit RdStatement(KvbString sql, bool whereOpen = false)
      : sql_(std::move(sql)), whereOpen_(whereOpen) {}

  // " WHERE <column>=?" or " AND <column>=?" for each field given as a
  // filter, in list order.
  RdStatement& where(RdFields filters);
  // Text without a filter of its own; `whereOpen` tells whether a WHERE
  // clause is open after it.
  RdStatement& append(const KvbString& text, bool whereOpen);
  RdStatement& append(const KvbString& text) {
    return append(text, whereOpen_);
  }
  // The value of a marker that append() wrote.
  RdStatement& bind(const RdField& value);

  const KvbString& sql() const { return sql_; }
  const QueryParamList& params() const { return params_; }

 private:
  KvbString sql_;
  QueryParamList params_;
  bool whereOpen_;
};

#endif  // REFDATA_REFDATA_STATEMENT_H_
