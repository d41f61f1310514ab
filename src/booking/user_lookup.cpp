#include "booking/user_lookup.h"

#include <chrono>
#include <exception>

namespace vorel {

std::string BuildUserTable(const std::vector<const pac_rec*>& patients) {
  std::string out;
  out.reserve(128 + patients.size() * 96);
  out += "<table name=user>\r\n";
  out += "<field>kl;fiol;im;ot;npol;uch;lpu1;probc;data_r</field>\r\n";
  out += "<data>\r\n";
  for (const pac_rec* p : patients) {
    out += std::to_string(p->kl);
    for (std::string_view text : {p->fiol.view(), p->imText(), p->otText(), p->npol.view(), p->uch.view()}) {
      out += '\t';
      out += text;
    }
    out += '\t';
    out += std::to_string(p->lpu1);
    out += '\t';
    out += std::to_string(p->probc);
    out += '\t';
    out += p->data_r.view();
    out += "\r\n";
  }
  out += "</data>\r\n";
  out += "</table>\r\n";
  return out;
}

std::string RunUserCommand(const PatientCache& cache, const ReplyFields& fields, Logger& logger,
                           const Clock& clock) {
  const Clock::TimePoint queryTimeMark = clock.Now();
  const std::string& fam = fields[2];
  const std::string& polis = fields[3];
  try {
    const auto patients = cache.FindPatientsByNameAndPolicy(fam, polis);
    std::string answer = BuildUserTable(patients);
    std::string line;
    if (patients.empty()) {
      line = "User " + fam + ", " + polis + " not found";
    } else if (patients.size() == 1) {
      const auto ms =
          std::chrono::duration_cast<std::chrono::milliseconds>(clock.Now() - queryTimeMark).count();
      line = " [" + std::to_string(ms) + "] User " + fam + ", " + polis + " login ok";
    } else {
      line = "Many  user found (" + fam + ", " + polis + ") + Count:" + std::to_string(patients.size());
    }
    logger.Log("login", line);
    return answer;
  } catch (const std::exception&) {
    return "error user";
  }
}

}  // namespace vorel
