// The sweep's cells of the NCOA interface: current parties, PAF records
// with their party snapshots, and executions.
#include "sweep/write_sweep.h"

namespace {

using N = NCOARepositoryDataAccess;
const KvbDate kNone;

// The adds and updates with every column but the one a cell varies.
bool listOwner(N* o, const KvbString& name) {
  return o->addListOwner(name, "a", "c", "s", "z", "t", "n", "m", "e", "p",
                         "mk", "1", "2", "3", "w", 0, "sn", "st", kNone,
                         nullptr);
}
bool pafListOwner(N* o, int pafId, int listOwnerId) {
  return o->addPafListOwner("b", "a", "c", "s", "z", "t", "n", "m", "e", "p",
                            "mk", "1", "2", "3", "w", 0, "sn", "st", kNone,
                            kNone, pafId, listOwnerId, nullptr);
}
bool licensee(N* o, const KvbString& name) {
  return o->addLicensee("id", name, "t", "tin", 1, "e", "f", "1", "2", "3",
                        "sn", "st", kNone, nullptr);
}
bool pafLicensee(N* o, int pafId, int licenseeId) {
  return o->addPafLicensee("id", "b", "t", "tin", 1, "e", "f", "1", "2", "3",
                           "sn", "st", kNone, kNone, pafId, licenseeId,
                           nullptr);
}
bool broker(N* o, const KvbString& name) {
  return o->addBroker(name, "a", "c", "s", "z", "t", "f", "e", "n", "1", "2",
                      "3", 1, "sn", "st", kNone, nullptr);
}
bool pafBroker(N* o, int pafId, int brokerId) {
  return o->addPafBroker("b", "a", "c", "s", "z", "t", "f", "e", "n", "1", "2",
                         "3", 1, "sn", "st", kNone, kNone, pafId, brokerId,
                         nullptr);
}
bool paf(N* o, const KvbString& listName) {
  return o->addPaf("1", "2", "3", 1, 1, kNone, 0, listName, "P1", nullptr);
}
bool updateListOwner(N* o, int id, const KvbString& name) {
  return o->updateListOwner(id, name, {}, {}, {}, {}, {}, {}, {}, {}, {}, {},
                            {}, {}, {}, {}, -1, {}, {}, kNone);
}
bool updatePafListOwner(N* o, int id, int pafId) {
  return o->updatePafListOwner(id, "b", {}, {}, {}, {}, {}, {}, {}, {}, {}, {},
                               {}, {}, {}, {}, -1, {}, {}, kNone, kNone, pafId,
                               -1);
}
bool updateLicensee(N* o, int id) {
  return o->updateLicensee(id, {}, "b", {}, {}, -1, {}, {}, {}, {}, {}, {}, {},
                           kNone);
}
bool updatePafLicensee(N* o, int id, int pafId) {
  return o->updatePafLicensee(id, {}, "b", {}, {}, -1, {}, {}, {}, {}, {}, {},
                              {}, kNone, kNone, pafId, -1);
}
bool updateBroker(N* o, int id) {
  return o->updateBroker(id, "b", {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {},
                         -1, {}, {}, kNone);
}
bool updatePafBroker(N* o, int id, int pafId) {
  return o->updatePafBroker(id, "b", {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {},
                            -1, {}, {}, kNone, kNone, pafId, -1);
}

bool setup(Sweep& s, std::string* error) {
  N* o = s.ncoa;
  const bool ok =
      o->addPaf("1", "2", "3", 1, 1, kNone, 0, "list", "P1", &s.id["paf"]) &&
      o->addListOwner("b", "a", "c", "s", "z", "t", "n", "m", "e", "p", "mk",
                      "1", "2", "3", "w", 0, "sn", "st", kNone,
                      &s.id["owner"]) &&
      o->addLicensee("id", "b", "t", "tin", 1, "e", "f", "1", "2", "3", "sn",
                     "st", kNone, &s.id["licensee"]) &&
      o->addBroker("b", "a", "c", "s", "z", "t", "f", "e", "n", "1", "2", "3",
                   1, "sn", "st", kNone, &s.id["broker"]);
  *error = o->getErrorMessage().str();
  return ok;
}

#define NC(name) "NCOARepositoryDataAccess::" name

std::vector<Cell> cells() {
  return {
      {NC("addListOwner"), Input::kNul, "busName",
       SWEEP_CALL(ncoa, listOwner(o, kNul)), refused("of table NCOALO")},
      {NC("addListOwner"), Input::kTooLong, "busName",
       SWEEP_CALL(ncoa, listOwner(o, kLong)), refused("of table NCOALO")},
      {NC("addPafListOwner"), Input::kMissingParent, "pafId",
       SWEEP_CALL(ncoa, pafListOwner(o, 99999, s.id.at("owner"))),
       refused("99999 does not exist")},
      {NC("addPafListOwner"), Input::kMissingParent, "listOwnerId",
       SWEEP_CALL(ncoa, pafListOwner(o, s.id.at("paf"), 99999)),
       refused("99999 does not exist")},
      {NC("addLicensee"), Input::kNul, "busName",
       SWEEP_CALL(ncoa, licensee(o, kNul)), refused("of table NCOALI")},
      {NC("addPafLicensee"), Input::kMissingParent, "pafId",
       SWEEP_CALL(ncoa, pafLicensee(o, 99999, s.id.at("licensee"))),
       refused("99999 does not exist")},
      {NC("addPafLicensee"), Input::kMissingParent, "licenseeId",
       SWEEP_CALL(ncoa, pafLicensee(o, s.id.at("paf"), 99999)),
       refused("99999 does not exist")},
      {NC("addBroker"), Input::kNul, "busName",
       SWEEP_CALL(ncoa, broker(o, kNul)), refused("of table NCOABR")},
      {NC("addPafBroker"), Input::kMissingParent, "pafId",
       SWEEP_CALL(ncoa, pafBroker(o, 99999, s.id.at("broker"))),
       refused("99999 does not exist")},
      {NC("addPafBroker"), Input::kMissingParent, "brokerId",
       SWEEP_CALL(ncoa, pafBroker(o, s.id.at("paf"), 99999)),
       refused("99999 does not exist")},
      {NC("addPaf"), Input::kNul, "listName", SWEEP_CALL(ncoa, paf(o, kNul)),
       refused("of table NCOAPA")},
      {NC("addNcoaExecution"), Input::kMissingParent, "pafId",
       SWEEP_CALL(ncoa, o->addNcoaExecution(0, 99999, nullptr)),
       refused("99999 does not exist")},
      {NC("clearNcoaExecColumnValues"), Input::kMissingId, "staged values",
       SWEEP_CALL(ncoa, o->clearNcoaExecColumnValues()), noFailure()},
      {NC("setNcoaExecColumnValue"), Input::kMissingId, "column",
       SWEEP_CALL(ncoa, o->setNcoaExecColumnValue(999, KvbDatavar(1))),
       refused("999")},
      {NC("updateListOwner"), Input::kMissingId, "listOwnerId",
       SWEEP_CALL(ncoa, updateListOwner(o, 99999, "b")), noFailure()},
      {NC("updateListOwner"), Input::kNul, "busName",
       SWEEP_CALL(ncoa, updateListOwner(o, s.id.at("owner"), kNul)),
       refused("of table NCOALO")},
      {NC("updatePafListOwner"), Input::kMissingId, "pafListOwnerId",
       SWEEP_CALL(ncoa, updatePafListOwner(o, 99999, -1)), noFailure()},
      {NC("copyPafListOwner"), Input::kMissingId, "pafListOwnerId",
       SWEEP_CALL(ncoa, o->copyPafListOwner(99999, nullptr)),
       unlogged("99999")},
      {NC("deleteListOwner"), Input::kMissingId, "listOwnerId",
       SWEEP_CALL(ncoa, o->deleteListOwner(99999)), noFailure()},
      {NC("deletePafListOwner"), Input::kMissingId, "pafListOwnerId",
       SWEEP_CALL(ncoa, o->deletePafListOwner(99999)), noFailure()},
      {NC("updateLicensee"), Input::kMissingId, "licenseeId",
       SWEEP_CALL(ncoa, updateLicensee(o, -1)), refused("licensee")},
      {NC("updatePafLicensee"), Input::kMissingId, "pafLicenseeId",
       SWEEP_CALL(ncoa, updatePafLicensee(o, -1, -1)), refused("licensee")},
      {NC("copyPafLicensee"), Input::kMissingId, "pafLicenseeId",
       SWEEP_CALL(ncoa, o->copyPafLicensee(99999, nullptr)), unlogged("99999")},
      {NC("deleteLicensee"), Input::kMissingId, "licenseeId",
       SWEEP_CALL(ncoa, o->deleteLicensee(99999)), noFailure()},
      {NC("deletePafLicensee"), Input::kMissingId, "pafLicenseeId",
       SWEEP_CALL(ncoa, o->deletePafLicensee(99999)), noFailure()},
      {NC("updateBroker"), Input::kMissingId, "brokerId",
       SWEEP_CALL(ncoa, updateBroker(o, -1)), refused("broker")},
      {NC("updatePafBroker"), Input::kMissingId, "pafBrokerId",
       SWEEP_CALL(ncoa, updatePafBroker(o, -1, -1)), refused("broker")},
      {NC("copyPafBroker"), Input::kMissingId, "pafBrokerId",
       SWEEP_CALL(ncoa, o->copyPafBroker(99999, nullptr)), unlogged("99999")},
      {NC("deleteBroker"), Input::kMissingId, "brokerId",
       SWEEP_CALL(ncoa, o->deleteBroker(99999)), noFailure()},
      {NC("deletePafBroker"), Input::kMissingId, "pafBrokerId",
       SWEEP_CALL(ncoa, o->deletePafBroker(99999)), noFailure()},
      {NC("updatePaf"), Input::kMissingId, "pafId",
       SWEEP_CALL(ncoa, o->updatePaf(99999, "1", {}, {}, -1, -1, kNone, -1, {},
                                     -1, {})),
       noFailure()},
      {NC("updatePaf"), Input::kEmptyName, "every column",
       SWEEP_CALL(ncoa, o->updatePaf(s.id.at("paf"), {}, {}, {}, -1, -1, kNone,
                                     -1, {}, -1, {})),
       refused("No column of NCOAPA row")},
      {NC("copyPaf"), Input::kMissingId, "pafId",
       SWEEP_CALL(ncoa, o->copyPaf(99999, nullptr)), unlogged("99999")},
      {NC("deletePaf"), Input::kMissingId, "pafId",
       SWEEP_CALL(ncoa, o->deletePaf(99999)), noFailure()},
  };
}

}  // namespace

Table ncoaTable() { return {"ncoa", setup, cells}; }
