#include "booking/patient_load.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "booking/patient_normalise.h"
#include "booking/text_trim.h"
#include "platform/multipart_body.h"

namespace vorel {
namespace {

constexpr std::string_view kChannel = "system";

VOREL_DEFINE_ERROR(PatientFieldError, Error);
VOREL_DEFINE_ERROR(PatientStatementError, Error);

// The integer value of a column as the database gives it: numbers rounded, null 0, digits in a text read.
int64_t IntegerOf(const sql::Value& value, std::string_view column) {
  switch (value.kind) {
    case sql::ValueKind::kNull:
      return 0;
    case sql::ValueKind::kNumber: {
      if (!std::isfinite(value.number) || std::fabs(value.number) >= 9.2e18) break;
      return std::llround(value.number);
    }
    case sql::ValueKind::kText: {
      const std::string_view text = TrimText(value.text);
      std::size_t i = text.size() > 0 && (text[0] == '-' || text[0] == '+') ? 1 : 0;
      if (i == text.size() || text.size() > 18) break;
      int64_t n = 0;
      for (std::size_t k = i; k < text.size(); ++k) {
        if (text[k] < '0' || text[k] > '9')
          throw PatientFieldError("'" + std::string(text) + "' is not a valid integer value");
        n = n * 10 + (text[k] - '0');
      }
      return text[0] == '-' ? -n : n;
    }
    default:
      break;
  }
  throw PatientFieldError("Column " + std::string(column) + " has no integer value");
}

int32_t Int32Of(const sql::Value& value, std::string_view column) {
  const int64_t n = IntegerOf(value, column);
  if (n < std::numeric_limits<int32_t>::min() || n > std::numeric_limits<int32_t>::max()) {
    throw PatientFieldError("Column " + std::string(column) + " value out of range");
  }
  return static_cast<int32_t>(n);
}

// The current row's text of a column, or empty text when it cannot be read (for the failure lines only).
std::string TextOrEmpty(const Query& q, std::string_view column) {
  try {
    return q.FieldText(column);
  } catch (const std::exception&) {
    return {};
  }
}

// Positions of the columns the load reads, found once per load; -1 for a column the result lacks (every
// row then fails at that field).
struct PatientColumns {
  int fiol, im, ot, uch, npol, kl, lpu1, probc, data_r;
  explicit PatientColumns(const Query& q)
      : fiol(q.FindField("fiol")),
        im(q.FindField("im")),
        ot(q.FindField("ot")),
        uch(q.FindField("uch")),
        npol(q.FindField("npol")),
        kl(q.FindField("kl")),
        lpu1(q.FindField("lpu1")),
        probc(q.FindField("probc")),
        data_r(q.FindField("data_r")) {}
};

std::size_t Require(int index, const char* column) {
  if (index < 0) throw PatientFieldError(std::string("Field '") + column + "' not found");
  return static_cast<std::size_t>(index);
}

// The current row's text of a column; a character value is used in place, without a copy.
std::string_view TextOf(const Query& q, int index, const char* column, std::string& scratch) {
  const std::size_t i = Require(index, column);
  const sql::Value v = q.FieldValue(i);
  if (v.kind == sql::ValueKind::kText) return v.text;
  scratch = q.FieldText(i);
  return scratch;
}

// The default text of a date column's value, kept for the dates met so far in one load: a register holds
// some ten thousand distinct birth dates for a million patients, and formatting every row's date anew took
// a tenth of the load. In one column the text of a date depends on the date alone.
class DateTexts {
 public:
  std::string_view Of(const Query& q, std::size_t index) {
    const sql::Value v = q.FieldValue(index);  // an unreadable value fails here as in FieldText
    if (v.kind != sql::ValueKind::kDate) {
      other_ = q.FieldText(index);
      return other_;
    }
    Entry& e = entries_[static_cast<uint64_t>(v.moment) % kEntries];
    if (!e.filled || e.day != v.moment) {
      e.text = q.FieldText(index);
      e.day = v.moment;
      e.filled = true;
    }
    return e.text;
  }

 private:
  static constexpr std::size_t kEntries = std::size_t{1} << 14;
  struct Entry {
    int64_t day = 0;
    bool filled = false;
    std::string text;
  };
  std::vector<Entry> entries_ = std::vector<Entry>(kEntries);
  std::string other_;
};

// Fills a cleared slot from the current row, field by field in the load's order; a failure leaves the
// fields read so far in place.
void FillSlot(const Query& q, const PatientColumns& c, DateTexts& dates, PatientCache& cache, pac_rec& rec) {
  std::string scratch;
  rec.fiol = cache.Keep(NormaliseSurname(TextOf(q, c.fiol, "fiol", scratch)));
  if (auto im = NormaliseInitial(TextOf(q, c.im, "im", scratch))) {
    rec.im = *im;
    rec.hasIm = true;
  }
  if (auto ot = NormaliseInitial(TextOf(q, c.ot, "ot", scratch))) {
    rec.ot = *ot;
    rec.hasOt = true;
  }
  rec.uch = cache.Keep(NormalisePlainText(TextOf(q, c.uch, "uch", scratch)));
  rec.npol = cache.Keep(NormalisePlainText(TextOf(q, c.npol, "npol", scratch)));
  rec.kl = Int32Of(q.FieldValue(Require(c.kl, "kl")), "kl");
  rec.lpu1 = LowBits16(IntegerOf(q.FieldValue(Require(c.lpu1, "lpu1")), "lpu1"));
  rec.probc = LowBits8(IntegerOf(q.FieldValue(Require(c.probc, "probc")), "probc"));
  rec.data_r = cache.Keep(dates.Of(q, Require(c.data_r, "data_r")));
}

// The line that ends a failed load at that row.
std::string LoadErrorLine(int32_t row, const Query& q) {
  return "Load user error " + std::to_string(row) + " fam:" + TextOrEmpty(q, "fiol") +
         " id:" + TextOrEmpty(q, "kl");
}

}  // namespace

std::string PatientConfigUrl(const std::string& portalHost) {
  return "http://" + portalHost + "/medic/online_config.php?m1005sel=1";
}

std::string RequestPatientColumnList(HttpClient& client, const std::string& portalHost) {
  MultipartForm form;
  form.Add("version", kPatientConfigVersion);
  const std::string boundary = ChooseBoundary(form);
  return client.Post(PatientConfigUrl(portalHost), MultipartContentType(boundary),
                     EncodeMultipartBody(form, boundary));
}

void LoadPatientCache(PatientLoadContext& ctx) {
  DatabaseContext& db = ctx.db;
  PatientCache& cache = ctx.cache;
  Logger& log = db.log;

  cache.columnList = std::string(kDefaultPatientColumnList);
  log.Log(kChannel, "Load user...");
  try {
    std::string list = RequestPatientColumnList(ctx.client, ctx.portalHost);
    cache.columnList = std::move(list);
    log.Log(kChannel, "Load sql string: " + cache.columnList);
  } catch (const std::exception&) {
    log.Log(kChannel, "fail sql load");
  }

  cache.BeginLoad();
  int32_t row = 1;
  Query& q = db.SQL;
  // The rows go into the cache as the statement finds them. What the load logs meanwhile waits until the
  // statement has run to its end, so that a statement failing part-way logs and leaves what one failing at
  // once does; a failure of the load's own work at a row ends the statement and the load there.
  std::vector<std::string> rowLines;
  std::string rowFailure;
  try {
    log.Log(kChannel, "SQL path: " + db.ADO.connectionString());
    db.ADO.Connect();
    const std::string statement = "select " + cache.columnList + " from m1005 where npol<>'' and kl>0";
    log.Log(kChannel, "SQL: " + statement);
    q.Close();
    q.Lines().clear();
    q.Lines().push_back(statement);
    log.Log(kChannel, "SQL clear ");
    std::optional<PatientColumns> columns;
    DateTexts dates;
    bool statementFailed = false;
    try {
      q.Stream(
          [&](int64_t rowsAtMost) {
            try {
              columns.emplace(q);
              cache.Reserve(static_cast<int32_t>(std::min<int64_t>(rowsAtMost, INT32_MAX - 1)));
            } catch (const std::exception&) {
              rowFailure = LoadErrorLine(row, q);
              throw;
            }
          },
          [&] {
            try {
              if (row % 1000 == 0) rowLines.push_back("User load: " + std::to_string(row));
              pac_rec& rec = cache.PrepareSlot(row);
              try {
                FillSlot(q, *columns, dates, cache, rec);
              } catch (const std::exception&) {
                rowLines.push_back("Load user problem: " + std::to_string(row) + " " +
                                   TextOrEmpty(q, "fiol"));
              }
              cache.CommitSlot(row);
            } catch (const std::exception&) {
              rowFailure = LoadErrorLine(row, q);
              throw;
            }
            ++row;
          });
    } catch (const std::exception& e) {
      if (rowFailure.empty()) {
        log.Log(kChannel, std::string("POST.Error:") + KindOf(e) + " " + e.what());
        statementFailed = true;
        // Nothing of a statement that failed stays, whatever rows it gave before.
        cache.BeginLoad();
        rowLines.clear();
        row = 1;
      }
    }
    log.Log(kChannel, "SQL active ");
    if (statementFailed) throw PatientStatementError("no rows");
    log.Log(kChannel, "SQL start");
    for (const std::string& line : rowLines) log.Log(kChannel, line);
    if (!rowFailure.empty()) throw PatientStatementError("row failed");
    cache.FinishLoad(row - 1);
    ctx.store.Write("user_cnt", std::to_string(cache.count()));
    ctx.store.Write("reload_user", DateTimeText(db.clock, db.regional));
    db.ADO.Disconnect();
  } catch (const std::exception&) {
    log.Log(kChannel, rowFailure.empty() ? LoadErrorLine(row, q) : rowFailure);
    q.Close();
    db.ADO.Disconnect();
  }
  log.Log(kChannel, "Load user count:" + std::to_string(cache.count()));
  cache.timeOfLastLoad = db.clock.Now();
}

std::string RunLoadUserCommand(PatientLoadContext& ctx) {
  LoadPatientCache(ctx);
  return "user load";
}

}  // namespace vorel
