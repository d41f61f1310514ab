#include "exchange/clinic_access_database.h"

#include "database/exports.h"
#include "database/table_xml.h"

namespace vorel {

ClinicAccess ClinicAccessFor(DatabaseContext& db) {
  ClinicAccess access;
  access.testConnection = [&db](const std::string& connectionString) {
    db.ADO.SetConnectionString(connectionString);
    db.ADO.Connect();
    db.ADO.Disconnect();
  };
  access.specExport = [&db] { return SpecExport(db); };
  access.freeSlotExport = [&db] { return FreeSlotExport(db); };
  access.groupListExport = [&db] { return GroupListExport(db); };
  access.renderTableXml = [&db](const std::string& tableName, const std::string& statement) {
    return RenderTableXml(db, tableName, statement);
  };
  access.dateWindowView = [&db](const std::string& daysBack, const std::string& daysForward) {
    return DateWindowView(db, daysBack, daysForward);
  };
  access.patientView = [&db](const std::string& patientId) { return PatientView(db, patientId); };
  return access;
}

}  // namespace vorel
