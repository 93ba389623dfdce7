// ReposDataCursor: an in-memory cursor that code fills column by column and
// row by row, read through the cursor interface.
#ifndef RDA_REPOS_DATA_CURSOR_H_
#define RDA_REPOS_DATA_CURSOR_H_

#include "rda/rda_cursor.h"

class ReposDataCursor : public RDA_MemoryCursor {
 public:
  // Discards names and rows and makes n unnamed columns; false when n is
  // below 1.
  bool setColumnCount(int n);
  // Names a column; a column out of range is ignored.
  void setColumnName(int column, const KvbString& name);
  // Appends a row of nulls and makes it the current row.
  void addRow();
  // Sets a column of the current row; ignored without a current row or for
  // a column out of range.
  void setValue(int column, const KvbDatavar& value);
  // The next fetch yields the first row.
  void rewind() { position_ = 0; }

};

#endif  // RDA_REPOS_DATA_CURSOR_H_
