// The sweep's cells of the common interface: rules, fields, custom
// metrics, global categories and the key/value store.
#include "sweep/write_sweep.h"

namespace {

bool setup(Sweep& s, std::string* error) {
  CommonRepositoryDataAccess* c = s.common;
  int& rule = s.id["rule"];
  int& cm = s.id["cm"];
  int& gc = s.id["gc"];
  rule = c->addRule("Sweep rule", "T", "", "", "", "u", "rule-uuid", 0, "", "");
  s.id["rule2"] =
      c->addRule("Sweep rule 2", "T", "", "", "", "u", "rule2-uuid", 0, "", "");
  cm = c->addCustomMetric("Sweep metric", "", "e", "");
  s.id["cm2"] = c->addCustomMetric("Sweep metric 2", "", "e", "");
  gc = c->addGlobalCategory("Sweep category", "");
  s.id["gc2"] = c->addGlobalCategory("Sweep category 2", "");
  const bool ok =
      rule > 0 && s.id["rule2"] > 0 && cm > 0 && s.id["cm2"] > 0 && gc > 0 &&
      s.id["gc2"] > 0 && c->addField("sweep field", "") &&
      c->addRuleField(rule, "sweep field", "") &&
      c->addRuleCustomMetric(rule, cm, 1) &&
      c->addCustomMetricField(cm, "in", "I") &&
      c->addCustomMetricFieldMap(rule, cm, 1, "sweep field", "in", "I") &&
      c->addGlobalCategoryDefinition(gc, "en", 1, "d", 1, "t", "") > 0 &&
      c->addGlobalCategoryField(gc, "dsn", "", "", "t", "f", true, "C", 1, 1) &&
      c->setKeyValue("sweep key", "v");
  *error = c->getErrorMessage().str();
  return ok;
}

#define C(name) "CommonRepositoryDataAccess::" name

std::vector<Cell> cells() {
  return {
      {C("addRule"), Input::kInUse, "name",
       SWEEP_CALL(common, o->addRule("Sweep rule", "T", "", "", "", "u", "", 0,
                                     "", "") > 0),
       refused("Cannot add the rule \"Sweep rule\": ")},
      {C("addRule"), Input::kInUse, "uuid",
       SWEEP_CALL(common, o->addRule("New rule", "T", "", "", "", "u",
                                     "rule-uuid", 0, "", "") > 0),
       refused("Cannot add the rule \"New rule\" with UUID \"rule-uuid\": ")},
      {C("addRule"), Input::kEmptyName, "name",
       SWEEP_CALL(common,
                  o->addRule("", "T", "", "", "", "u", "", 0, "", "") > 0),
       stored()},
      {C("addRule"), Input::kMissingParent, "folderId",
       SWEEP_CALL(common, o->addRule("New rule", "T", "", "", "", "u", "",
                                     99999, "", "") > 0),
       refused("Folder 99999 does not exist")},
      {C("addRule"), Input::kNul, "name",
       SWEEP_CALL(common,
                  o->addRule(kNul, "T", "", "", "", "u", "", 0, "", "") > 0),
       refused("column RU_DESC of table RULE")},
      {C("addRule"), Input::kTooLong, "name",
       SWEEP_CALL(common,
                  o->addRule(kLong, "T", "", "", "", "u", "", 0, "", "") > 0),
       refused("column RU_DESC of table RULE")},
      {C("updateRule"), Input::kMissingId, "ruleId",
       SWEEP_CALL(common, o->updateRule(99999, "R", "T", "", "", "", "u", 0, 0,
                                        "u", "", 0, "", "")),
       refused("Rule 99999 does not exist")},
      {C("updateRule"), Input::kInUse, "name",
       SWEEP_CALL(common,
                  o->updateRule(s.id.at("rule"), "Sweep rule 2", "T", "", "",
                                "", "u", 0, 0, "u", "rule-uuid", 0, "", "")),
       refused("the name \"Sweep rule 2\"")},
      {C("updateRule"), Input::kInUse, "uuid",
       SWEEP_CALL(common,
                  o->updateRule(s.id.at("rule"), "Sweep rule", "T", "", "", "",
                                "u", 0, 0, "u", "rule2-uuid", 0, "", "")),
       refused("the UUID \"rule2-uuid\"")},
      // An empty name is stored as given, but the add's cell above stored
      // a rule of that name: the update is refused as for a name in use.
      {C("updateRule"), Input::kEmptyName, "name",
       SWEEP_CALL(common,
                  o->updateRule(s.id.at("rule"), "", "T", "", "", "", "u", 0, 0,
                                "u", "rule-uuid", 0, "", "")),
       refused("the name \"\"")},
      {C("updateRule"), Input::kMissingParent, "folderId",
       SWEEP_CALL(common,
                  o->updateRule(s.id.at("rule"), "Sweep rule", "T", "", "", "",
                                "u", 0, 0, "u", "rule-uuid", 99999, "", "")),
       refused("Folder 99999 does not exist")},
      {C("updateRule"), Input::kNul, "name",
       SWEEP_CALL(common,
                  o->updateRule(s.id.at("rule"), kNul, "T", "", "", "", "u", 0,
                                0, "u", "rule-uuid", 0, "", "")),
       refused("column RU_DESC of table RULE")},
      {C("deleteRule"), Input::kMissingId, "ruleId",
       SWEEP_CALL(common, o->deleteRule(99999)), noFailure()},
      {C("deleteRuleLinks"), Input::kMissingId, "ruleId",
       SWEEP_CALL(common, o->deleteRuleLinks(99999)), noFailure()},
      {C("addField"), Input::kInUse, "name",
       SWEEP_CALL(common, o->addField("sweep field", "")),
       refused("Cannot add the field \"sweep field\": ")},
      {C("addField"), Input::kEmptyName, "name",
       SWEEP_CALL(common, o->addField("", "")), stored()},
      {C("addField"), Input::kNul, "name",
       SWEEP_CALL(common, o->addField(kNul, "")),
       refused("column FI_NAME of table MFLD")},
      {C("addField"), Input::kTooLong, "name",
       SWEEP_CALL(common, o->addField(kLong, "")),
       refused("column FI_NAME of table MFLD")},
      {C("addRuleField"), Input::kMissingParent, "ruleId",
       SWEEP_CALL(common, o->addRuleField(99999, "sweep field", "")),
       refused("Rule 99999 does not exist")},
      {C("addRuleField"), Input::kNul, "name",
       SWEEP_CALL(common, o->addRuleField(s.id.at("rule"), kNul, "")),
       refused("column FI_NAME of table MFLD")},
      {C("addRuleField"), Input::kEmptyName, "name",
       SWEEP_CALL(common, o->addRuleField(s.id.at("rule"), "", "")),
       stored()},
      {C("addRuleCustomMetric"), Input::kMissingParent, "ruleId",
       SWEEP_CALL(common, o->addRuleCustomMetric(99999, s.id.at("cm"), 1)),
       refused("Rule 99999 does not exist")},
      {C("addRuleCustomMetric"), Input::kMissingParent, "cmId",
       SWEEP_CALL(common, o->addRuleCustomMetric(s.id.at("rule"), 99999, 1)),
       refused("Custom metric 99999 does not exist")},
      {C("addRuleCustomMetric"), Input::kInUse, "cmId",
       SWEEP_CALL(common,
                  o->addRuleCustomMetric(s.id.at("rule"), s.id.at("cm"), 1)),
       refused("Cannot link custom metric")},
      {C("addCustomMetricFieldMap"), Input::kMissingParent, "ruleId",
       SWEEP_CALL(common, o->addCustomMetricFieldMap(99999, s.id.at("cm"), 1,
                                                     "sweep field", "in", "I")),
       refused("Rule 99999 does not exist")},
      {C("addCustomMetricFieldMap"), Input::kMissingParent, "cmId",
       SWEEP_CALL(common, o->addCustomMetricFieldMap(s.id.at("rule"), 99999, 1,
                                                     "sweep field", "in", "I")),
       refused("Custom metric 99999 does not exist")},
      {C("addCustomMetricFieldMap"), Input::kNul, "fieldName",
       SWEEP_CALL(common,
                  o->addCustomMetricFieldMap(s.id.at("rule"), s.id.at("cm"), 2,
                                             kNul, "in", "I")),
       refused("column FI_NAME of table CMFMAP")},
      {C("deleteCustomMetric"), Input::kMissingId, "cmId",
       SWEEP_CALL(common, o->deleteCustomMetric(99999)),
       unlogged("custom metric")},
      {C("deleteGlobalCategory"), Input::kMissingId, "gcId",
       SWEEP_CALL(common, o->deleteGlobalCategory(99999)), noFailure()},
      {C("addCustomMetric"), Input::kInUse, "name",
       SWEEP_CALL(common, o->addCustomMetric("Sweep metric", "", "e", "") > 0),
       refused("Cannot add the custom metric \"Sweep metric\": ")},
      {C("addCustomMetric"), Input::kEmptyName, "name",
       SWEEP_CALL(common, o->addCustomMetric("", "", "e", "") > 0),
       stored()},
      {C("addCustomMetric"), Input::kNul, "name",
       SWEEP_CALL(common, o->addCustomMetric(kNul, "", "e", "") > 0),
       refused("column CM_DESC of table CUSTM")},
      {C("addCustomMetricField"), Input::kMissingParent, "cmId",
       SWEEP_CALL(common, o->addCustomMetricField(99999, "in", "I")),
       refused("Custom metric 99999 does not exist")},
      {C("addCustomMetricField"), Input::kInUse, "name",
       SWEEP_CALL(common, o->addCustomMetricField(s.id.at("cm"), "in", "I")),
       refused("Cannot add the field \"in\" to custom metric")},
      {C("addCustomMetricField"), Input::kNul, "name",
       SWEEP_CALL(common, o->addCustomMetricField(s.id.at("cm"), kNul, "I")),
       refused("column CM_FLDNM of table CMFLD")},
      {C("updateCustomMetric"), Input::kMissingId, "cmId",
       SWEEP_CALL(common, o->updateCustomMetric(99999, "M", "", "e", "", "")),
       refused("Custom metric 99999 does not exist")},
      {C("updateCustomMetric"), Input::kInUse, "name",
       SWEEP_CALL(common, o->updateCustomMetric(s.id.at("cm"), "Sweep metric 2",
                                                "", "e", "", "")),
       refused("the name \"Sweep metric 2\"")},
      {C("updateCustomMetric"), Input::kNul, "name",
       SWEEP_CALL(common,
                  o->updateCustomMetric(s.id.at("cm"), kNul, "", "e", "", "")),
       refused("column CM_DESC of table CUSTM")},
      {C("clearCustomMetric"), Input::kMissingId, "cmId",
       SWEEP_CALL(common, o->clearCustomMetric(99999)), noFailure()},
      {C("addGlobalCategory"), Input::kInUse, "name",
       SWEEP_CALL(common,
                  o->addGlobalCategory("Sweep category", "") == s.id.at("gc")),
       noFailure()},
      {C("addGlobalCategory"), Input::kEmptyName, "name",
       SWEEP_CALL(common, o->addGlobalCategory("", "") > 0),
       stored()},
      {C("addGlobalCategory"), Input::kNul, "name",
       SWEEP_CALL(common, o->addGlobalCategory(kNul, "") > 0),
       refused("column GCNAME of table GCATS")},
      {C("addGlobalCategoryDefinition"), Input::kMissingParent, "gcId",
       SWEEP_CALL(common, o->addGlobalCategoryDefinition(99999, "en", 1, "d", 1,
                                                         "t", "") > 0),
       refused("Global category 99999 does not exist")},
      {C("addGlobalCategoryDefinition"), Input::kNul, "locale",
       SWEEP_CALL(common, o->addGlobalCategoryDefinition(s.id.at("gc"), kNul, 1,
                                                         "d", 1, "t", "") > 0),
       refused("of table GCDEF")},
      {C("addGlobalCategoryField"), Input::kMissingParent, "gcId",
       SWEEP_CALL(common, o->addGlobalCategoryField(99999, "dsn", "", "", "t",
                                                    "f", true, "C", 1, 1)),
       refused("Global category 99999 does not exist")},
      {C("addGlobalCategoryField"), Input::kNul, "table",
       SWEEP_CALL(common,
                  o->addGlobalCategoryField(s.id.at("gc"), "dsn", "", "", kNul,
                                            "f", true, "C", 1, 1)),
       refused("of table GCFLD")},
      {C("updateGlobalCategory"), Input::kMissingId, "gcId",
       SWEEP_CALL(common, o->updateGlobalCategory(99999, "G", "")),
       refused("Global category 99999 does not exist")},
      {C("updateGlobalCategory"), Input::kInUse, "name",
       SWEEP_CALL(common, o->updateGlobalCategory(s.id.at("gc"),
                                                  "Sweep category 2", "")),
       refused("the name \"Sweep category 2\"")},
      // An empty name is stored as given, but the add's cell above stored
      // a global category of that name: the update is refused as for a name in use.
      {C("updateGlobalCategory"), Input::kEmptyName, "name",
       SWEEP_CALL(common, o->updateGlobalCategory(s.id.at("gc"), "", "")),
       refused("the name \"\"")},
      {C("setKeyValue"), Input::kNul, "value",
       SWEEP_CALL(common, o->setKeyValue("sweep key", kNul)),
       refused("column V_VALUE of table KEYVAL")},
      {C("setKeyValue"), Input::kTooLong, "key",
       SWEEP_CALL(common, o->setKeyValue(kLong, "v")),
       refused("column V_KEY of table KEYVAL")},
      {C("setKeyValue"), Input::kEmptyName, "key",
       SWEEP_CALL(common, o->setKeyValue("", "v")), stored()},
      {C("deleteKey"), Input::kMissingId, "key",
       SWEEP_CALL(common, o->deleteKey("no such key")),
       unlogged("no such key")},
  };
}

}  // namespace

Table commonTable() { return {"common", setup, cells}; }
