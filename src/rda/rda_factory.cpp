// Choosing and opening the back end of a repository connection.
#include "rda/rda_factory.h"

#include "rda/rda_dac.h"
#include "rda/rda_sqlite.h"

ReposDataAccess* createReposDataAccess(int kind, const KvbString& connection,
                                       const KvbString& tablePrefix,
                                       RepositoryStatusCallback* status,
                                       KvbString& errorText) {
  RDA_BaseImpl* rda = nullptr;
  switch (kind) {
    case 0:
      rda = new RDA_DAC;
      break;
    case 1:
    case 2:
      rda = new RDA_Sqlite(kind == 1);
      break;
    default:
      errorText = kvb_get_message("rda_factory", __LINE__,
                                  "Repository Library", 1313);
      return nullptr;
  }
  if (rda->init(connection, tablePrefix, status, errorText)) return rda;
  rda->release();
  return nullptr;
}
