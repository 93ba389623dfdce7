// The three flat monitoring object types: sources, dimensions, thresholds.
#include "impexp/repmonitortype.h"

#include <string>

#include "kvreposres/kvserialization.h"
#include "reposadmin/monitor_data_access.h"

namespace {

KvbString value(MetadataRecord* record, const char* key) {
  KvbString out;
  record->getValue(key, out);
  return out;
}

// The bands of a threshold record, in index order up to the first whose
// four values are all empty; empty numbers read as 0. A number that is
// there but cannot be read is noted on the record's context, which refuses
// the import.
struct Bands {
  explicit Bands(MetadataRecord* record) {
    for (count = 0; count < 7; ++count) {
      const std::string i = std::to_string(count);
      const KvbString start = value(record, ("START_" + i).c_str());
      const KvbString end = value(record, ("END_" + i).c_str());
      const KvbString color = value(record, ("COLOR_" + i).c_str());
      names[count] = value(record, ("NAME_" + i).c_str());
      if (names[count].isEmpty() && start.isEmpty() && end.isEmpty() &&
          color.isEmpty())
        break;
      starts[count] = ends[count] = 0;
      colors[count] = 0;
      record->getRealValue(("START_" + i).c_str(), starts[count]);
      record->getRealValue(("END_" + i).c_str(), ends[count]);
      record->getIntValue(("COLOR_" + i).c_str(), colors[count]);
    }
  }
  int count = 0;
  KvbString names[7];
  double starts[7] = {};
  double ends[7] = {};
  int colors[7] = {};
};

}  // namespace

const MonitorObjectType kSourceType = {
    "Source",
    "source",
    "ES_ID",
    "ES_NAME",
    "ES_UUID",
    [](MonitorRepositoryDataAccess* m, int id, const KvbString& name,
       const KvbString& uuid) { return m->findSource(id, name, uuid); },
    [](MonitorRepositoryDataAccess* m, MetadataRecord* record,
       const KvbString& name, const KvbString& user, int folderId, int* newId) {
      return m->addSource(name, record->getUUID(), user, folderId, newId);
    },
    [](MonitorRepositoryDataAccess* m, MetadataRecord*, int id,
       const KvbString& name, const KvbString& user,
       int folderId) { return m->updateSource(id, name, user, folderId); },
    [](MonitorRepositoryDataAccess* m, int id) { return m->deleteSource(id); },
    false};

const MonitorObjectType kDimensionType = {
    "Dimension",
    "dimension",
    "DIM_ID",
    "DIM_NAME",
    "UUID",
    [](MonitorRepositoryDataAccess* m, int id, const KvbString& name,
       const KvbString& uuid) { return m->findDimension(id, name, uuid); },
    [](MonitorRepositoryDataAccess* m, MetadataRecord* record,
       const KvbString& name, const KvbString& user, int folderId, int* newId) {
      return m->addDimension(name, value(record, "DIM_DESC"), user,
                             record->getUUID(), folderId, newId);
    },
    [](MonitorRepositoryDataAccess* m, MetadataRecord* record, int id,
       const KvbString& name, const KvbString& user, int folderId) {
      return m->updateDimension(id, name, value(record, "DIM_DESC"), user,
                                folderId);
    },
    [](MonitorRepositoryDataAccess* m, int id) {
      return m->deleteDimension(id);
    },
    true};

const MonitorObjectType kThresholdType = {
    "Threshold",
    "threshold",
    "THR_ID",
    "THR_NAME",
    "UUID",
    [](MonitorRepositoryDataAccess* m, int id, const KvbString& name,
       const KvbString& uuid) { return m->findThreshold(id, name, uuid); },
    [](MonitorRepositoryDataAccess* m, MetadataRecord* record,
       const KvbString& name, const KvbString& user, int folderId, int* newId) {
      const Bands b(record);
      return m->addThreshold(name, value(record, "THR_DESC"), user,
                             record->getUUID(), folderId, b.count, b.names,
                             b.starts, b.ends, b.colors, newId);
    },
    [](MonitorRepositoryDataAccess* m, MetadataRecord* record, int id,
       const KvbString& name, const KvbString& user, int folderId) {
      const Bands b(record);
      return m->updateThreshold(id, name, value(record, "THR_DESC"), user,
                                folderId, b.count, b.names, b.starts, b.ends,
                                b.colors);
    },
    [](MonitorRepositoryDataAccess* m, int id) {
      return m->deleteThreshold(id);
    },
    true};
