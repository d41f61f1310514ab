// vorel_portal: a stand-in for the booking portal on 127.0.0.1, for the demo, the tests and by hand.
//
//   vorel_portal [--port N] [--hold-ms N] [--idle-reply TEXT] [--columns TEXT] [--queue LINE]...
//                [--update-file PATH] [--quiet]
//
// Answers the service's requests on /medic/server.php with the queued reply lines (after holding a request
// up to --hold-ms for one to be queued, the idle reply "1"), serves the column list on
// /medic/online_config.php, the file of --update-file (read at each download) as the update server's
// /upload/vorel_service.zip, and shows on / what the clinic has published. Reply lines (UTF-8) are queued
// from --queue, from stdin (one a line), from the page, or by POST /api/command, which waits for the answer
// and returns it; GET /api/stats counts requests and published rows, GET /api/requests lists the latest
// requests. A line whose first field is a command word gets a session token of its own ("s1", "s2", ...).
// Prints "PORTAL_URL=http://127.0.0.1:<port>/" first, then one transcript line per request.
#include <httplib.h>
#include <signal.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "booking/patient_cache.h"
#include "exchange/compress_text.h"
#include "page.h"
#include "platform/code_page.h"
#include "portal_state.h"
#include "table_text.h"

namespace {

using namespace vorel;
using namespace vorel::portal;

struct Options {
  int port = 0;
  int holdMs = 2000;
  std::string idleReply = "1";
  std::string columns{kDefaultPatientColumnList};
  std::vector<std::string> queue;
  std::string updateFile;
  bool quiet = false;
};

constexpr const char* kUsage =
    "Usage: vorel_portal [--port N] [--hold-ms N] [--idle-reply TEXT] [--columns TEXT] [--queue LINE]...\n"
    "                    [--update-file PATH] [--quiet]\n"
    "Plays the booking portal on 127.0.0.1 for the service, the demo and the tests.\n"
    "  --port N           listen on port N (default: any free port; the first line printed names it)\n"
    "  --hold-ms N        hold a request up to N ms for a reply line to be queued (default 2000)\n"
    "  --idle-reply TEXT  the reply when nothing is queued (default \"1\")\n"
    "  --columns TEXT     the patient column list served on /medic/online_config.php\n"
    "  --queue LINE       queue a reply line (UTF-8); may be given several times\n"
    "  --update-file PATH serve PATH (read at each download) as the update server's "
    "/upload/vorel_service.zip\n"
    "  --quiet            print no transcript line per request\n"
    "  --help             this text\n"
    "Reply lines also come from standard input (one a line), from the page on / and from\n"
    "POST /api/command (waits for the answer and returns it). GET /api/stats counts requests and published\n"
    "rows, GET /api/requests lists the latest requests. A line whose first field is a command word gets a\n"
    "session token of its own. The page shows the service's audit entries of the commands sent from here\n"
    "when this machine holds the state store that VOREL_STATE names (as for the service). Exit status: 0 "
    "after SIGTERM or Ctrl+C, 1 when it cannot listen, 2 for wrong\n"
    "usage.\n";

enum class Parsed { kRun, kHelp, kBad };

// A whole number from 0 to 65535 (ports) or of milliseconds; false for anything else.
bool ParseNumber(const char* text, int& value) {
  const char* end = text + std::strlen(text);
  const auto [stop, ec] = std::from_chars(text, end, value);
  return ec == std::errc() && stop == end && *text != '\0' && value >= 0;
}

Parsed ParseOptions(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--help" || arg == "-h") {
      return Parsed::kHelp;
    } else if (arg == "--quiet") {
      o.quiet = true;
    } else if (arg == "--port" && hasValue && ParseNumber(argv[i + 1], o.port) && o.port <= 65535) {
      ++i;
    } else if (arg == "--hold-ms" && hasValue && ParseNumber(argv[i + 1], o.holdMs)) {
      ++i;
    } else if (arg == "--idle-reply" && hasValue) {
      o.idleReply = Utf8ToAnsi(argv[++i]);
    } else if (arg == "--columns" && hasValue) {
      o.columns = argv[++i];
    } else if (arg == "--update-file" && hasValue) {
      o.updateFile = argv[++i];
    } else if (arg == "--queue" && hasValue) {
      o.queue.push_back(Utf8ToAnsi(argv[++i]));
    } else {
      std::fprintf(stderr, "vorel_portal: bad argument %s (vorel_portal --help lists the options)\n",
                   arg.c_str());
      return Parsed::kBad;
    }
  }
  return Parsed::kRun;
}

// The form fields in the order sent; compressed exports expanded (a damaged one is shown as such).
std::vector<std::pair<std::string, std::string>> ReadFields(const httplib::Request& req,
                                                            const httplib::ContentReader& reader) {
  std::vector<std::pair<std::string, std::string>> fields;
  if (!req.is_multipart_form_data()) {
    reader([](const char*, size_t) { return true; });
    return fields;
  }
  reader(
      [&](const httplib::MultipartFormData& part) {
        fields.emplace_back(part.name, std::string());
        return true;
      },
      [&](const char* data, size_t length) {
        fields.back().second.append(data, length);
        return true;
      });
  for (auto& [name, value] : fields) {
    if (name == "spec" || name == "nomer" || name == "busynom") {
      try {
        value = DecompressText(value);
      } catch (const std::exception& e) {
        value = "<table name=" + name + ">\r\n<error>" + e.what() + "</error>\r\n</table>\r\n";
      }
    }
  }
  return fields;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  switch (ParseOptions(argc, argv, options)) {
    case Parsed::kHelp:
      std::fputs(kUsage, stdout);
      return 0;
    case Parsed::kBad:
      return 2;
    case Parsed::kRun:
      break;
  }

  // Signals are taken by one thread that stops the server; every other thread is started after this.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  PortalState state;
  for (auto& line : options.queue) state.Queue(line);
  httplib::Server server;
  std::mutex printMu;

  server.Post("/medic/server.php",
              [&](const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& reader) {
                ReceivedRequest request;
                for (const auto& [k, v] : req.params) request.query[k] = v;
                request.fields = ReadFields(req, reader);
                const std::string reply =
                    state.Exchange(request, std::chrono::milliseconds(options.holdMs), options.idleReply);
                if (!options.quiet) {
                  auto latest = state.Take(1);
                  std::lock_guard lock(printMu);
                  if (!latest.requests.empty())
                    std::printf("%s\n", DescribeRequest(latest.requests.back()).c_str());
                  std::fflush(stdout);
                }
                res.set_content(reply, "text/html; charset=windows-1251");
              });
  server.Post("/medic/online_config.php",
              [&](const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& reader) {
                ReadFields(req, reader);
                res.set_content(options.columns, "text/html");
              });
  // The update server: the file as it is now, so a test can swap it between two updates.
  server.Get("/upload/vorel_service.zip", [&](const httplib::Request&, httplib::Response& res) {
    std::ifstream in(options.updateFile, std::ios::binary);
    if (options.updateFile.empty() || !in) {
      res.status = 404;
      return;
    }
    res.set_content(std::string(std::istreambuf_iterator<char>(in), {}), "application/zip");
  });
  server.Get("/", [&](const httplib::Request& req, httplib::Response& res) {
    PageView view;
    if (req.has_param("from")) {
      const std::string from = req.get_param_value("from");
      std::from_chars(from.data(), from.data() + from.size(), view.firstDay);
    }
    const auto snapshot = state.Take(30);
    // The service's audit trail, when this machine holds it (the store VOREL_STATE names, as the service's).
    std::vector<AuditEntry> audit;
    std::string auditProblem;
    try {
      audit = EntriesOfCommands(OpenPlatformAuditStore(false)->Entries(), snapshot.commands);
    } catch (const std::exception& e) {
      auditProblem = e.what();
    }
    res.set_content(RenderPage(snapshot, view, audit, auditProblem), "text/html; charset=utf-8");
  });
  server.Get("/api/stats", [&](const httplib::Request&, httplib::Response& res) {
    const auto snapshot = state.Take(0);
    std::string text = "requests=" + std::to_string(snapshot.requestCount) + "\n";
    for (const char* field : {"spec", "nomer", "busynom"}) {
      auto it = snapshot.published.find(field);
      std::size_t tables = 0, rows = 0;
      if (it != snapshot.published.end()) {
        for (const auto& t : ParseTableText(it->second)) {
          ++tables;
          rows += t.rows.size();
        }
      }
      text += std::string(field) + "_tables=" + std::to_string(tables) + "\n" + field +
              "_rows=" + std::to_string(rows) + "\n";
    }
    res.set_content(text, "text/plain");
  });
  server.Get("/api/requests", [&](const httplib::Request&, httplib::Response& res) {
    std::string text;
    for (const auto& request : state.Take(500).requests) text += DescribeRequest(request) + "\n";
    res.set_content(text, "text/plain; charset=utf-8");
  });
  server.Post("/queue", [&](const httplib::Request& req, httplib::Response& res) {
    std::string line = req.get_param_value("line");
    if (req.has_param("prefix")) line = req.get_param_value("prefix") + req.get_param_value("patient");
    if (!line.empty()) state.Queue(Utf8ToAnsi(line));
    // Back to the page, the schedule keeping the days it showed.
    const std::string referer = req.get_header_value("Referer");
    const std::size_t from = referer.find("?from=");
    std::size_t day = 0;
    if (from != std::string::npos)
      std::from_chars(referer.data() + from + 6, referer.data() + referer.size(), day);
    res.set_redirect(day > 0 ? "/?from=" + std::to_string(day) + "#schedule" : "/#schedule");
  });
  server.Post("/api/command", [&](const httplib::Request& req, httplib::Response& res) {
    const int waitSeconds = req.has_param("wait") ? std::atoi(req.get_param_value("wait").c_str()) : 60;
    std::string line = req.body;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    const std::string token = state.Queue(Utf8ToAnsi(line));
    const auto answer = state.WaitForAnswer(token, std::chrono::seconds(waitSeconds));
    if (!answer) {
      res.status = 504;
      res.set_content("no answer\n", "text/plain; charset=utf-8");
    } else {
      res.set_content(answer->hasData ? AnsiToUtf8(answer->answer) : std::string(),
                      "text/plain; charset=utf-8");
      res.set_header("X-Answer", answer->hasData ? "data" : "none");
    }
  });

  const int port = options.port > 0 ? (server.bind_to_port("127.0.0.1", options.port) ? options.port : -1)
                                    : server.bind_to_any_port("127.0.0.1");
  if (port <= 0) {
    std::fprintf(stderr, "vorel_portal: cannot listen on 127.0.0.1:%d\n", options.port);
    return 1;
  }
  std::printf("PORTAL_URL=http://127.0.0.1:%d/\n", port);
  std::fflush(stdout);

  std::thread signalWaiter([&] {
    int signal = 0;
    sigwait(&stopSignals, &signal);
    state.Shutdown();
    server.stop();
  });
  signalWaiter.detach();
  std::thread stdinReader([&] {
    std::string line;
    while (std::getline(std::cin, line)) {
      if (!line.empty()) state.Queue(Utf8ToAnsi(line));
    }
  });
  stdinReader.detach();

  server.listen_after_bind();
  state.Shutdown();
  return 0;
}
