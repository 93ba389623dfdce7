// The joined views of the reference-data object. Each builds its own
// statement over several tables and runs it as a query by example runs.
#include "refdata/refdata_rdaimpl.h"

using Cursor = RefDataRDAImpl::Cursor;

namespace {
const bool kWhereOpen = true;
}

// ---------------------------------------------------------------------------
// Attributes

Cursor RefDataRDAImpl::getUserAttributes(int id, Text name, Text description) {
  if (!ready()) return nullptr;
  return query(
      SqlStatement("SELECT a.ID, a.ATTRNAME, a.DESCRPTN, l.CODE FROM " +
                       table("RDATRS") + " a INNER JOIN " + table("RDATRC") +
                       " ac ON a.CONTYID=ac.ID INNER JOIN " + table("RDLANS") +
                       " l ON a.LANGID=l.ID"
                       " WHERE ac.CONTYPE='RD_USER_ATTRIBUTE'",
                   kWhereOpen)
          .where(asFilters({{"a.ATTRNAME", name},
                            {"a.DESCRPTN", description},
                            {"a.ID", id}})));
}

// ---------------------------------------------------------------------------
// Domains and domain versions

Cursor RefDataRDAImpl::getDomainVersionSummaries(int domainId, Text domainName,
                                                 bool latestOnly) {
  if (!ready()) return nullptr;
  SqlStatement select(
      "SELECT d.ID, d.DOMNAME, d.DESCRPTN, v.ID, v.VERSION, v.LABEL, "
      "a.ACTNAME, d.DOMTYPE, d.SCOPE, v.CRTDATE FROM " +
      table("RDDOMS") + " d INNER JOIN " + table("RDDOVR") +
      " v ON d.ID=v.DOMAINID INNER JOIN " + table("RDACTS") +
      " a ON d.OWNERID=a.ID");
  // The version row added last, whatever its number.
  if (latestOnly)
    select.append(" WHERE v.ID IN (SELECT MAX(ID) FROM " + table("RDDOVR") +
                      " GROUP BY DOMAINID)",
                  kWhereOpen);
  return query(
      select.where(asFilters({{"d.ID", domainId}, {"d.DOMNAME", domainName}}))
          .append(" ORDER BY d.DOMNAME, v.VERSION"));
}

Cursor RefDataRDAImpl::getDomainVersionInfo(int domainId, int domainVersionId) {
  if (!ready()) return nullptr;
  return query(
      SqlStatement("SELECT d.ID, d.DOMNAME, d.DOMTYPE, v.ID, v.VERSION FROM " +
                   table("RDDOMS") + " d INNER JOIN " + table("RDDOVR") +
                   " v ON d.ID=v.DOMAINID")
          .where(asFilters({{"d.ID", domainId}, {"v.ID", domainVersionId}})));
}

Cursor RefDataRDAImpl::getDomainDetails(int domainId) {
  if (!ready()) return nullptr;
  return query(
      SqlStatement("SELECT " + rda_->getColumnList("RDDOMS", "o") +
                   ", acct.ACTNAME, l.CODE, l2.CODE FROM " + table("RDDOMS") +
                   " o INNER JOIN " + table("RDDOLG") +
                   " ol ON o.ID=ol.DOMAINID INNER JOIN " + table("RDLANS") +
                   " l ON ol.LANGID=l.ID LEFT JOIN " + table("RDLANS") +
                   " l2 ON o.DEFLANID=l2.ID LEFT JOIN " + table("RDACTS") +
                   " acct ON o.LOCKBYID=acct.ID")
          .where(asFilters({{"o.ID", domainId}}))
          .append(" ORDER BY o.ID, l.CODE ASC"));
}

Cursor RefDataRDAImpl::getLatestDomainVersion(int domainId) {
  if (!ready()) return nullptr;
  SqlStatement select("SELECT ov.*, a1.ACTNAME, a2.ACTNAME FROM " +
                      table("RDDOVR") + " ov INNER JOIN " + table("RDACTS") +
                      " a1 ON ov.ACCTID=a1.ID LEFT JOIN " + table("RDACTS") +
                      " a2 ON ov.LOCKBYID=a2.ID");
  if (domainId != -1)
    select
        .append(
            " WHERE ov.DOMAINID=? AND ov.VERSION=(SELECT MAX(VERSION) FROM " +
            table("RDDOVR") + " WHERE DOMAINID=?)")
        .bind(domainId)
        .bind(domainId);
  return query(select);
}

Cursor RefDataRDAImpl::getDomainVersionHistory(int domainId, bool latestOnly) {
  if (!ready()) return nullptr;
  SqlStatement select("SELECT " + rda_->getColumnList("RDDOVR", "ov") +
                      ", a1.ACTNAME, a2.ACTNAME FROM " + table("RDDOVR") +
                      " ov INNER JOIN " + table("RDACTS") +
                      " a1 ON ov.ACCTID=a1.ID LEFT JOIN " + table("RDACTS") +
                      " a2 ON ov.LOCKBYID=a2.ID");
  select.where(asFilters({{"ov.DOMAINID", domainId}}));
  if (domainId != -1 && latestOnly)
    select
        .append(" AND ov.VERSION=(SELECT MAX(VERSION) FROM " + table("RDDOVR") +
                " WHERE DOMAINID=?)")
        .bind(domainId);
  return query(select.append(" ORDER BY ov.VERSION ASC"));
}

Cursor RefDataRDAImpl::getEnabledDomains() {
  if (!ready()) return nullptr;
  return query(SqlStatement(
      "SELECT d.DOMNAME, d.DESCRPTN, d.DOMTYPE, d.SCOPE, d.ENABLED, "
      "dv.VERSION, dv.ID FROM " +
      table("RDDOMS") + " d INNER JOIN " + table("RDDOVR") +
      " dv ON d.ID=dv.DOMAINID WHERE d.ENABLED='Y'"
      " ORDER BY d.DOMNAME, dv.VERSION ASC"));
}

// ---------------------------------------------------------------------------
// Domain languages and attributes

Cursor RefDataRDAImpl::getDomainVersionLanguages(int languageId, int domainId,
                                                 int domainVersionId) {
  if (!ready()) return nullptr;
  return query(
      SqlStatement("SELECT l.CODE, l.LANGNAME, dfl.CODE, l.ID, olv.DOMLANID "
                   "FROM " +
                   table("RDDOMS") + " o INNER JOIN " + table("RDDOLG") +
                   " ol ON o.ID=ol.DOMAINID INNER JOIN " + table("RDDOLV") +
                   " olv ON ol.ID=olv.DOMLANID INNER JOIN " + table("RDLANS") +
                   " l ON l.ID=ol.LANGID INNER JOIN " + table("RDLANS") +
                   " dfl ON dfl.ID=o.DEFLANID")
          .where(asFilters({{"l.ID", languageId},
                            {"o.ID", domainId},
                            {"olv.DOMVERID", domainVersionId}})));
}

Cursor RefDataRDAImpl::getUsedDomainLanguages(int domainId,
                                              int domainVersionId) {
  if (!ready()) return nullptr;
  // The version filter opens the sub-select's own WHERE; the domain filter
  // continues the outer one.
  return query(SqlStatement("SELECT ID FROM " + table("RDDOLG") +
                            " WHERE LANGID IN ( SELECT LANGID FROM " +
                            table("RDITAV") + " iav INNER JOIN " +
                            table("RDITVV") + " iavv ON iav.ID=iavv.ITATVLID")
                   .where(asFilters({{"iavv.DOMVERID", domainVersionId}}))
                   .append(" GROUP BY LANGID)", kWhereOpen)
                   .where(asFilters({{"DOMAINID", domainId}})));
}

// The user attributes of domains with their version entries; the statement
// that getDomainUserAttributes and getDomainUserAttributeLanguages share.
static KvbString userAttributeColumns() {
  return "SELECT a.ID, a.ATTRNAME, a.DESCRPTN, oa.ID, oa.ATTRIBID, "
         "oav.ISDEFALT";
}

Cursor RefDataRDAImpl::getDomainUserAttributes(int domainId,
                                               int domainVersionId) {
  if (!ready()) return nullptr;
  return query(
      SqlStatement(userAttributeColumns() + " FROM " + table("RDDOAT") +
                   " oa INNER JOIN " + table("RDATRS") +
                   " a ON oa.ATTRIBID=a.ID INNER JOIN " + table("RDATRC") +
                   " ac ON a.CONTYID=ac.ID AND ac.CONTYPE='RD_USER_ATTRIBUTE'"
                   " INNER JOIN " +
                   table("RDDATV") + " oav ON oav.DOMATTID=oa.ID")
          .where(asFilters(
              {{"oa.DOMAINID", domainId}, {"oav.DOMVERID", domainVersionId}}))
          .append(" ORDER BY a.ATTRNAME ASC"));
}

Cursor RefDataRDAImpl::getUsedDomainAttributes(int domainId,
                                               int domainVersionId) {
  if (!ready()) return nullptr;
  return query(SqlStatement("SELECT ID FROM " + table("RDDOAT") +
                            " WHERE ATTRIBID IN ( SELECT ATTRIBID FROM " +
                            table("RDITVV") + " iavv INNER JOIN " +
                            table("RDDOIA") + " ia ON iavv.ITEATTID=ia.ID")
                   .where(asFilters({{"iavv.DOMVERID", domainVersionId}}))
                   .append(" GROUP BY ATTRIBID)", kWhereOpen)
                   .where(asFilters({{"DOMAINID", domainId}})));
}

Cursor RefDataRDAImpl::getDomainUserAttributeLanguages(int domainId,
                                                       int domainVersionId) {
  if (!ready()) return nullptr;
  return query(
      SqlStatement(userAttributeColumns() + ", la.LANGNAME FROM " +
                   table("RDDOAT") + " oa INNER JOIN " + table("RDATRS") +
                   " a ON oa.ATTRIBID=a.ID INNER JOIN " + table("RDATRC") +
                   " ac ON a.CONTYID=ac.ID AND ac.CONTYPE='RD_USER_ATTRIBUTE'"
                   " INNER JOIN " +
                   table("RDDATV") + " oav ON oav.DOMATTID=oa.ID INNER JOIN " +
                   table("RDDOLG") + " dl ON oa.DOMAINID=dl.DOMAINID " +
                   "INNER JOIN " + table("RDLANS") + " la ON dl.LANGID=la.ID")
          .where(asFilters(
              {{"oa.DOMAINID", domainId}, {"oav.DOMVERID", domainVersionId}})));
}

// ---------------------------------------------------------------------------
// Items and their attributes

Cursor RefDataRDAImpl::getDomainVersionItems(int itemId, int domainVersionId) {
  if (!ready()) return nullptr;
  return query(SqlStatement("SELECT i.ID, iv.PARNTID, i.ITEMKEY, i.ITEMVAL, "
                            "iv.LINEAGE, iv.ITEMLVL, iv.ID FROM " +
                            table("RDITVR") + " iv INNER JOIN " +
                            table("RDDOIT") + " i ON iv.ITEMID=i.ID")
                   .where(asFilters(
                       {{"i.ID", itemId}, {"iv.DOMVERID", domainVersionId}})));
}

Cursor RefDataRDAImpl::getChildItems(int domainVersionId, int parentId) {
  if (!ready()) return nullptr;
  // The filters extend the join's ON condition, which selects the same
  // rows as a WHERE clause would.
  return query(SqlStatement("SELECT iv.ID, iv.PARNTID, i.ITEMKEY, i.ITEMVAL, "
                            "iv.LINEAGE, iv.ITEMLVL, ( SELECT COUNT(*) FROM " +
                                table("RDITVR") +
                                " iv2 WHERE iv2.DOMVERID=iv.DOMVERID AND "
                                "iv2.PARNTID=iv.ID) AS CHILDREN_COUNT FROM " +
                                table("RDITVR") + " iv INNER JOIN " +
                                table("RDDOIT") + " i ON iv.ITEMID=i.ID",
                            kWhereOpen)
                   .where(asFilters({{"iv.DOMVERID", domainVersionId},
                                     {"iv.PARNTID", parentId}})));
}

Cursor RefDataRDAImpl::getItemVersionAttributes(int itemVersionId,
                                                int domainVersionId) {
  if (!ready()) return nullptr;
  return query(SqlStatement("SELECT a.ID, a.ATTRNAME, a.DESCRPTN, ia.ID FROM " +
                            table("RDDOIA") + " ia INNER JOIN " +
                            table("RDIAVR") +
                            " iav ON ia.ID=iav.ITEATTID INNER JOIN " +
                            table("RDATRS") + " a ON a.ID = ia.ATTRIBID")
                   .where(asFilters({{"ia.ITVERID", itemVersionId},
                                     {"iav.DOMVERID", domainVersionId}}))
                   .append(" ORDER BY a.ATTRNAME ASC"));
}

Cursor RefDataRDAImpl::getItemVersionAttributeValues(int itemVersionId,
                                                     int domainVersionId) {
  if (!ready()) return nullptr;
  return query(
      SqlStatement("SELECT a.ID, a.ATTRNAME, a.DESCRPTN, iava.*, "
                   "iavv.ITEATTID, l.CODE, l.ID FROM " +
                   table("RDDOIA") + " ia INNER JOIN " + table("RDIAVR") +
                   " iav ON ia.ID=iav.ITEATTID INNER JOIN " + table("RDATRS") +
                   " a ON a.ID=ia.ATTRIBID LEFT JOIN " + table("RDITVV") +
                   " iavv ON iav.DOMVERID=iavv.DOMVERID AND "
                   "ia.ID=iavv.ITEATTID LEFT JOIN " +
                   table("RDITAV") + " iava ON iava.ID=iavv.ITATVLID " +
                   "LEFT JOIN " + table("RDLANS") + " l ON l.ID=iava.LANGID")
          .where(asFilters({{"ia.ITVERID", itemVersionId},
                            {"iav.DOMVERID", domainVersionId}})));
}

// ---------------------------------------------------------------------------
// Domain contents

// The columns of both contents views.
static const char kContentsColumns[] =
    "SELECT iv.ID, i.ITEMKEY, i.ITEMVAL, iv.PARNTID, av.VALUE, a.ATTRNAME, "
    "a.DESCRPTN, l.LANGNAME, d.DOMNAME, dv.VERSION FROM ";

Cursor RefDataRDAImpl::getDomainContents(int domainId, int domainVersionId) {
  if (!ready()) return nullptr;
  return query(
      SqlStatement(kContentsColumns + table("RDDOMS") + " d INNER JOIN " +
                   table("RDDOVR") + " dv ON d.ID=dv.DOMAINID INNER JOIN " +
                   table("RDITVR") + " iv ON iv.DOMVERID=dv.ID INNER JOIN " +
                   table("RDDOIT") + " i ON iv.ITEMID=i.ID LEFT JOIN " +
                   table("RDDOIA") + " ia ON ia.ITVERID=iv.ID LEFT JOIN " +
                   table("RDATRS") + " a ON ia.ATTRIBID=a.ID LEFT JOIN " +
                   table("RDIAVR") +
                   " iav ON iav.ITEATTID=ia.ID AND iav.DOMVERID=iv.DOMVERID "
                   "LEFT JOIN " +
                   table("RDITVV") +
                   " iavv ON iav.ITEATTID=iavv.ITEATTID AND "
                   "iavv.DOMVERID=iv.DOMVERID LEFT JOIN " +
                   table("RDITAV") + " av ON av.ID=iavv.ITATVLID LEFT JOIN " +
                   table("RDLANS") + " l ON av.LANGID=l.ID")
          .where(asFilters(
              {{"dv.DOMAINID", domainId}, {"iv.DOMVERID", domainVersionId}}))
          .append(" ORDER BY dv.VERSION desc, i.ITEMKEY, a.ID, av.LANGID"));
}

Cursor RefDataRDAImpl::getDomainVersionContents(int domainId, int version) {
  if (!ready()) return nullptr;
  // The derived table iav pairs each item attribute with the domain
  // versions that carry it.
  return query(
      SqlStatement(
          kContentsColumns + table("RDITVR") + " iv INNER JOIN " +
          table("RDDOVR") + " dv ON iv.DOMVERID=dv.ID INNER JOIN " +
          table("RDDOMS") + " d ON d.ID=dv.DOMAINID INNER JOIN " +
          table("RDDOIT") + " i ON iv.ITEMID=i.ID LEFT JOIN ( SELECT " +
          "a.ID AS ITEATTID, a.ATTRIBID, a.ITVERID, b.DOMVERID FROM " +
          table("RDDOIA") + " a INNER JOIN " + table("RDIAVR") +
          " b ON a.ID = b.ITEATTID) iav ON iav.DOMVERID = iv.DOMVERID AND "
          "iv.ID = iav.ITVERID LEFT JOIN " +
          table("RDATRS") +
          " a ON iav.ATTRIBID=a.ID AND iav.DOMVERID=iv.DOMVERID LEFT JOIN " +
          table("RDITVV") +
          " iavv ON iav.ITEATTID=iavv.ITEATTID AND "
          "iavv.DOMVERID=iv.DOMVERID LEFT JOIN " +
          table("RDITAV") + " av ON av.ID=iavv.ITATVLID LEFT JOIN " +
          table("RDLANS") + " l ON av.LANGID=l.ID")
          .where(asFilters({{"d.ID", domainId}, {"dv.VERSION", version}})));
}

// ---------------------------------------------------------------------------
// Publications and their notes

Cursor RefDataRDAImpl::getPublications(int id, Text name, Text type,
                                       int domainId, int version,
                                       Text dataSource, Text schema) {
  if (!ready()) return nullptr;
  return query(SqlStatement("SELECT pc.*, d.DOMNAME FROM " + table("RDPUBS") +
                            " pc INNER JOIN " + table("RDDOMS") +
                            " d ON pc.DOMAINID=d.ID")
                   .where(asFilters({{"pc.ID", id},
                                     {"pc.PUBNAME", name},
                                     {"pc.PUBTYPE", type},
                                     {"pc.DOMAINID", domainId},
                                     {"pc.VERSION", version},
                                     {"pc.DSN", dataSource},
                                     {"pc.SCHEMANM", schema}})));
}

Cursor RefDataRDAImpl::getPublicationNotes(int domainId) {
  if (!ready()) return nullptr;
  // The note's columns are named with their alias: the accounts have a
  // CRTDATE too.
  return query(
      SqlStatement("SELECT n.*, a.ACTNAME FROM " + table("RDNOTS") +
                       " n INNER JOIN " + table("RDACTS") +
                       " a ON n.ACCTID=a.ID WHERE n.TABLNAME='USER_PUBS'",
                   kWhereOpen)
          .where(asFilters({{"n.DOMAINID", domainId}}))
          .append(" ORDER BY n.CRTDATE DESC"));
}
