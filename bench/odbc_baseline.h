// The bare ODBC pieces of the benchmarks: one statement run directly, and
// one prepared insert executed row by row inside one transaction, as a
// careful ODBC program writes it. The bare ODBC reads of the host-route
// benchmarks are in host_bench.cpp.
#ifndef BENCH_ODBC_BASELINE_H_
#define BENCH_ODBC_BASELINE_H_

#include <sql.h>
#include <sqlext.h>

#include <functional>
#include <string>

// A bare ODBC connection to `connection`, made and ended as a careful ODBC
// program does; `connected` tells whether it was made.
struct BareOdbc {
  explicit BareOdbc(std::string connection) {
    connected =
        SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)) &&
        SQL_SUCCEEDED(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION,
                                    reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3),
                                    0)) &&
        SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc)) &&
        SQL_SUCCEEDED(SQLDriverConnect(
            dbc, nullptr, reinterpret_cast<SQLCHAR*>(connection.data()),
            SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT));
  }
  ~BareOdbc() {
    if (connected) SQLDisconnect(dbc);
    if (dbc != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    if (env != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, env);
  }
  BareOdbc(const BareOdbc&) = delete;
  BareOdbc& operator=(const BareOdbc&) = delete;

  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  bool connected = false;
};

// Runs `sql` on `dbc` directly; a statement that changes no row (which
// answers SQL_NO_DATA) succeeds too.
inline bool odbcExecDirect(SQLHDBC dbc, std::string sql) {
  SQLHSTMT s = SQL_NULL_HSTMT;
  bool ok = SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &s));
  if (ok) {
    const SQLRETURN rc =
        SQLExecDirect(s, reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS);
    ok = SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA;
  }
  if (s != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, s);
  return ok;
}

// Prepares `sql` on `dbc` with autocommit off, lets `bind` bind the
// statement's parameters, then calls `executeRows` with the statement (it
// executes it once per row and answers whether all succeeded). Commits on
// success, else rolls back, and turns autocommit back on.
inline bool odbcInsertInOneTransaction(
    SQLHDBC dbc, std::string sql, const std::function<bool(SQLHSTMT)>& bind,
    const std::function<bool(SQLHSTMT)>& executeRows) {
  SQLHSTMT insert = SQL_NULL_HSTMT;
  bool ok =
      SQL_SUCCEEDED(SQLSetConnectAttr(
          dbc, SQL_ATTR_AUTOCOMMIT,
          reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), SQL_IS_UINTEGER)) &&
      SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &insert)) &&
      SQL_SUCCEEDED(SQLPrepare(insert, reinterpret_cast<SQLCHAR*>(sql.data()),
                               SQL_NTS)) &&
      bind(insert) && executeRows(insert);
  if (insert != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, insert);
  ok = SQL_SUCCEEDED(
           SQLEndTran(SQL_HANDLE_DBC, dbc, ok ? SQL_COMMIT : SQL_ROLLBACK)) &&
       ok;
  return SQL_SUCCEEDED(
             SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT,
                               reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON),
                               SQL_IS_UINTEGER)) &&
         ok;
}

#endif  // BENCH_ODBC_BASELINE_H_
