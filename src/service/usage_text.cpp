#include "service/usage_text.h"

namespace vorel {

std::string UsageText() {
  std::string text =
      "Usage: vorel_service [COMMAND]\n"
      "\n"
      "Commands:\n"
#ifdef _WIN32
      "  (none)                            run as the service VorelService (started by the service manager)\n"
      "  /INSTALL [/SILENT]                register the service VorelService (automatic start, restarted\n"
      "                                    10 s after a failure) and its event log source\n"
      "  /UNINSTALL [/SILENT]              stop and remove both\n"
#else
      "  (none)                            run the service in the foreground until SIGTERM or Ctrl+C, as\n"
      "                                    systemd does\n"
      "  /INSTALL [/SILENT]                write the systemd unit VorelService.service and enable it\n"
      "  /UNINSTALL [/SILENT]              disable the unit and remove it\n"
#endif
      "  status [--warning SECONDS]        whether the service runs and is healthy, for people and for\n"
      "                                    monitoring (exit 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN); "
      "WARNING\n"
      "                                    when the portal has not answered for SECONDS (default 600)\n"
      "  state list [--full]               every value of the state store; a value of several lines (a log)\n"
      "                                    as its size and last line unless --full\n"
      "  state get [--raw] NAME            one value (nothing when absent)\n"
      "  state set [--raw] NAME VALUE      set a value: UTF-8, stored in Windows-1251 (--raw: bytes as they "
      "are)\n"
      "  state unset NAME                  remove a value\n"
      "  sql [--raw] --path DIR STATEMENT  run one statement against the tables in DIR: a query prints its\n"
      "                                    Table XML, a write the number of records it changed\n"
      "  dbcheck --path DIR [TABLE]        check the tables of DIR (or one) against their structural "
      "indexes\n"
      "  dbcheck --repair --path DIR TABLE rebuild the damaged index tags of TABLE from its records, in "
      "place,\n"
      "                                    keeping the index as it was in a .bak file beside it\n"
      "  audit [--since YYYYMMDD] [--slot KW YYYYMMDD HH:MM] [--patient KL] [--json]\n"
      "                                    the audit trail of bookings, cancellations and adm_sql writes,\n"
      "                                    newest first, with each changed record before and after\n"
      "  --help                            this text\n"
      "  --version                         the version of the service\n"
      "\n"
      "Settings (state store values; a change takes effect at the next start of the service):\n"
      "  path                    folder of the reception desk tables (the DBF files)\n"
      "  id, pass                the clinic's identifier and password at the portal\n"
      "  server_url              the portal's server script in place of the built-in one\n"
      "  portal_host             host (and :port) of the portal in place of the built-in one\n"
      "  update_host             host of the update file server in place of the built-in one\n"
      "  proxy, proxyport        HTTP proxy host (empty: none) and port\n"
      "  proxylogin, proxypass   proxy user name and password\n"
      "  audit_days              days the audit trail keeps its entries (default 400)\n"
      "\n"
#ifdef _WIN32
      "The state store is the registry key HKEY_LOCAL_MACHINE\\Software\\VorelServer\\.\n"
#else
      "Environment:\n"
      "  VOREL_STATE       the state store file (default /var/lib/vorel_service/state.db); the status "
      "record\n"
      "                    NAME.status and the lock NAME.lock of the store NAME.db lie beside it\n"
      "  VOREL_UNIT_DIR    the folder /INSTALL writes the unit into (default /etc/systemd/system)\n"
      "  VOREL_SYSTEMCTL   the systemctl program /INSTALL and /UNINSTALL run (default systemctl)\n"
#endif
      "\n"
      "Exit status: 0 done, 1 failed, 2 wrong usage (status: the monitoring codes above, 3 for wrong "
      "usage).\n";
  return text;
}

}  // namespace vorel
