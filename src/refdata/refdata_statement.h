// RdField: one column of a reference-data operation with its value, declared
// with the width of its column, and the rules that say whether it is given
// to an add and as a filter.
#ifndef REFDATA_REFDATA_STATEMENT_H_
#define REFDATA_REFDATA_STATEMENT_H_

#include <initializer_list>
#include <utility>

#include "access/sql_statement.h"

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

  // The column as an add writes it, and as a filter.
  SqlField inAdd() const { return {column_, param_, addRule_}; }
  SqlField asFilter() const { return {column_, param_, filterRule_}; }

 private:
  RdField(const char* column, QueryParam param, Given addRule, Given filterRule)
      : column_(column),
        param_(std::move(param)),
        addRule_(addRule),
        filterRule_(filterRule) {}

  const char* column_;
  QueryParam param_;
  Given addRule_;
  Given filterRule_;
};

using RdFields = std::initializer_list<RdField>;

// The fields as filters, in order.
SqlFields asFilters(RdFields fields);

#endif  // REFDATA_REFDATA_STATEMENT_H_
