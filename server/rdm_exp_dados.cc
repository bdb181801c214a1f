#include "server/rdm_exp_dados.h"

#include <algorithm>
#include <charconv>
#include <chrono>

#include <sodium.h>
#include <spdlog/spdlog.h>

#include "platform/common/ascii.h"
#include "platform/common/cp1252.h"
#include "platform/common/error.h"
#include "platform/db/sql_values.h"
#include "server/dispatch.h"
#include "server/table_image.h"

namespace kve::server {
namespace {

TDateTime DateArg(const std::string& text) {
  auto d = ParseIsoDate(text);
  if (!d) throw ValueError("\"" + text + "\" is not a date yyyy-mm-dd");
  return *d;
}

// A count typed by the operator: blank is 0.
int64_t CountArg(std::string_view what, std::string_view text) {
  std::string_view t = Trim(text);
  if (t.empty()) return 0;
  int64_t v = 0;
  auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
  if (ec != std::errc() || p != t.data() + t.size() || v < 0)
    throw ValueError(std::string(what) + " \"" + std::string(text) + "\" is not a whole number");
  return v;
}

void CheckWidth(std::string_view what, const std::string& value, size_t width, bool required) {
  if (required && value.empty()) throw ValueError(std::string(what) + " is empty");
  size_t chars = 0;
  for (unsigned char c : value) chars += (c & 0xC0) != 0x80;
  // The value is quoted only in part: it may run to the whole request.
  if (chars > width)
    throw ValueError(std::string(what) + " \"" + LogText(value, 40) + "\" is longer than " +
                     std::to_string(width) + " characters");
}

// "0" or "1", as the history's kind and error mark are stored.
void CheckFlag(std::string_view what, const std::string& value) {
  if (value != "0" && value != "1")
    throw ValueError(std::string(what) + " \"" + LogText(value, 40) + "\" is neither 0 nor 1");
}

void CheckCodePage(std::string_view what, const std::string& value) {
  std::string encoded;
  size_t bad = AppendCp1252(value, encoded);
  if (bad != kEncodedOk)
    throw ValueError(std::string(what) + " \"" + LogText(value, 40) + "\": " +
                     DescribeUnencodable(value, bad));
}

void BindRange(SqlValues& v, const std::string& name, const std::string& from,
               const std::string& to, std::string_view what) {
  TDateTime a = DateArg(from), b = DateArg(to);
  if (b < a) throw ValueError(std::string(what) + " ends (" + to + ") before it starts (" + from + ")");
  v.SetDate("P_" + name + "INI", a);
  v.SetDate("P_" + name + "FIM", b);
  // The day after the last one, so TIMESTAMP columns compare half-open on both engines. After
  // 9999-12-31 comes a year of five digits, which SQLite compares as text before every other
  // date: the last millisecond of the day bounds that range instead.
  TDateTime dayAfter = TDateTime::FromMs(b.DateOnly().ms() + kMsPerDay);
  if (dayAfter.date().year > 9999)
    v.SetDateTime("P_" + name + "LIM", TDateTime::FromMs(dayAfter.ms() - 1));
  else
    v.SetDate("P_" + name + "LIM", dayAfter);
}

std::string SlotFile(int slot) {
  std::string nn = std::to_string(slot);
  if (nn.size() < 2) nn.insert(0, "0");
  return nn + "_" + SlotLayout(slot).table;
}

Answer FailureAnswer(const std::string& text, std::map<int, std::string> byref = {}) {
  Answer a;
  a.value.value = text;
  a.byref = std::move(byref);
  a.failed = true;
  return a;
}

Answer ImageAnswer(std::string image) {
  Answer a;
  a.value.value = std::move(image);
  a.value.isPacket = true;
  return a;
}

// Runs `body`, answering any failure as its text.
template <typename F>
Answer Guard(std::string_view method, F&& body, std::map<int, std::string> byref = {}) {
  try {
    return body();
  } catch (const std::exception& e) {
    return FailureAnswer(std::string(method) + ": " + e.what(), std::move(byref));
  }
}

}  // namespace

std::vector<std::string> ParseBranchList(std::string_view list) {
  std::vector<std::string> codes;
  if (list.empty()) return codes;
  auto bad = [&](const std::string& why) {
    return ValueError("aggregated branch list \"" + std::string(list) + "\": " + why);
  };
  if (list.front() != '_') throw bad("does not start with \"_\"");
  size_t i = 1;
  while (true) {
    size_t next = list.find('_', i);
    std::string_view code = list.substr(i, next == std::string_view::npos ? next : next - i);
    if (code.empty() || code.size() > 4) throw bad("a branch code must have 1 to 4 characters");
    codes.emplace_back(code);
    if (next == std::string_view::npos) break;
    i = next + 1;
  }
  return codes;
}

std::string JoinBranchList(const std::vector<std::string>& codes) {
  std::string out;
  for (const auto& c : codes) out += "_" + c;
  return out;
}

RdmExpDados::RdmExpDados(Database& db, const SqlFiles& sql, Clock now)
    : db_(db), sql_(sql), now_(std::move(now)) {}

void RdmExpDados::Run(std::string_view file, const SqlValues& values, TClientDataSet* into) {
  std::string origin = sql_.Origin(file, db_.Dialect());
  auto prepared = values.Prepare(sql_.Text(file, db_.Dialect()), origin);
  try {
    db_.Run(prepared.sql, prepared.params, into);
  } catch (const Error&) {
    RethrowWithContext(origin);  // a lost database stays an IoError
  }
}

void RdmExpDados::ImageTo(std::string_view file, const ImageLayout& layout, const SqlValues& values,
                          const std::function<void(std::string_view)>& emit) {
  using Clock = std::chrono::steady_clock;
  auto t0 = Clock::now();
  const std::string origin = sql_.Origin(file, db_.Dialect());
  auto prepared = values.Prepare(sql_.Text(file, db_.Dialect()), origin);
  ImageWriter image(layout, &imageMemory_);
  std::string_view bytes;
  try {
    // The rows go straight into the image as the engine hands them over.
    db_.RunRows(prepared.sql, prepared.params, image);
    bytes = image.Image(origin);
  } catch (const Error& e) {
    throw Error(origin + ": " + e.what());
  }
  // Where a slow call spends its time, for a site tuning its SQL (--verbose).
  spdlog::debug("{}: {} rows, query and image {:.1f} ms, {} bytes", file, image.Rows(),
                std::chrono::duration<double, std::milli>(Clock::now() - t0).count(), bytes.size());
  emit(bytes);
}

std::string RdmExpDados::Image(std::string_view file, const ImageLayout& layout,
                               const SqlValues& values) {
  std::string out;
  ImageTo(file, layout, values, [&](std::string_view bytes) { out.assign(bytes); });
  return out;
}

std::map<int, std::string> RdmExpDados::TabelasReceived(const std::vector<std::string>& args) {
  return {{2, args.at(1)}, {10, args.at(9)}, {11, args.at(10)}};
}

Answer RdmExpDados::GetTabelas(const std::vector<std::string>& args) {
  // On failure the by-reference arguments go back as they came.
  return Guard("GetTabelas", [&] { return GetTabelasOrFail(args); }, TabelasReceived(args));
}

Answer RdmExpDados::GetTabelasOrFail(const std::vector<std::string>& a) {
  TabelasPlan plan = PlanTabelas(a);
  std::vector<std::string> images;
  images.reserve(kTableSlots);
  ReadTabelas(plan, [&](std::string_view image) { images.emplace_back(image); });
  Answer out;
  out.value.value = std::move(images);
  out.byref = std::move(plan.byref);
  return out;
}

RdmExpDados::TabelasPlan RdmExpDados::PlanTabelas(const std::vector<std::string>& a) {
  const std::string& central = a[0];
  CheckWidth("central kitchen code", central, 4, true);

  std::string status(Trim(a[10]));
  if (status == "a" || status == "A") status = "A";
  else if (status.empty() || status == "t" || status == "T") status = "T";
  else throw ValueError("product status flag \"" + a[10] + "\" is neither T nor A");
  int64_t latest = CountArg("number of purchase requests", a[9]);
  int64_t levels = CountArg("number of product-tree levels", a[8]);
  std::string grouping(Trim(a[11]));
  CheckWidth("product grouping", grouping, 10, false);

  TabelasPlan plan;
  SqlValues& v = plan.values;
  v.SetText("P_CDFILIAL", central);
  BindRange(v, "DTCARD", a[2], a[3], "menu date range");
  BindRange(v, "DTSOLI", a[4], a[5], "purchase-request date range");
  BindRange(v, "DTAF", a[6], a[7], "AF date range");
  v.SetInteger("P_NRNIVEIS", levels);
  v.SetInteger("P_NRSOLIC", latest);
  v.SetText("P_IDSTATUS", status);
  v.SetText("P_CDGRUPPROD", grouping);
  v.SetText("P_CDOPERADOR", a[12]);

  // The export covers the listed branches that really are aggregated branches of this
  // central; an empty list means all of them.
  TClientDataSet all("FILIAL");
  Run("branches", v, &all);
  std::vector<std::string> central_branches;
  int code = all.FindFieldIndex("CDFILIAL");
  if (code < 0) throw Error(sql_.Origin("branches", db_.Dialect()) + ": CDFILIAL is not selected");
  for (int r : all.StorageOrder()) central_branches.emplace_back(all.Row(r).Str(code));
  std::vector<std::string> branches;
  if (a[1].empty()) {
    branches = central_branches;
  } else {
    for (const auto& b : ParseBranchList(a[1]))
      if (std::find(central_branches.begin(), central_branches.end(), b) != central_branches.end() &&
          std::find(branches.begin(), branches.end(), b) == branches.end())
        branches.push_back(b);
  }
  v.SetList("P_LISTAAGREG", branches);

  plan.byref = {{2, JoinBranchList(branches)}, {10, std::to_string(latest)}, {11, status}};
  return plan;
}

void RdmExpDados::ReadTabelas(const TabelasPlan& plan,
                              const std::function<void(std::string_view)>& emit) {
  // All 26 tables come from one snapshot, taken without holding up other calls' writes.
  db_.BeginReadOnly();
  try {
    for (int slot = 0; slot < kTableSlots; ++slot)
      ImageTo(SlotFile(slot), SlotLayout(slot), plan.values, emit);
    db_.Commit();
  } catch (...) {
    try {
      db_.Rollback();
    } catch (const std::exception&) {
      // the first failure is the one worth reporting
    }
    throw;
  }
}

Answer RdmExpDados::GetHistPalm(const std::vector<std::string>& a) {
  return Guard("GetHistPalm", [&] {
    SqlValues v;
    v.SetText("P_CDFILIAL", a.at(0));
    v.SetText("P_CDPALM", a.at(1));
    return ImageAnswer(Image("histpalm_latest", HistPalmLayout(), v));
  });
}

Answer RdmExpDados::InsHistPalm(const std::vector<std::string>& a) {
  return Guard("InsHistPalm", [&] {
    // Every argument is checked before anything is written: a row stored with a text the
    // device's code page cannot hold would make every later GetHistPalm of it fail.
    CheckWidth("branch code", a.at(0), 4, true);
    CheckWidth("device code", a.at(1), 3, true);
    CheckWidth("message", a.at(2), 255, false);
    CheckFlag("history kind", a.at(3));
    CheckFlag("error mark", a.at(4));
    CheckCodePage("branch code", a[0]);
    CheckCodePage("device code", a[1]);
    CheckCodePage("message", a[2]);
    const std::string argsHash = ArgumentsHash(a);
    // A call already served under this key is answered as it was the first time.
    if (auto answer = Replayed(argsHash, a)) return *answer;
    TDateTime when = TDateTime::FromMs(now_().ms() / 1000 * 1000);  // whole seconds
    SqlValues v;
    v.SetText("P_CDFILIAL", a[0]);
    v.SetText("P_CDPALM", a[1]);
    v.SetText("P_DSHISTPALM", a[2]);
    v.SetText("P_IDHISTPALM", a[3]);
    v.SetText("P_IDERROPALM", a[4]);
    v.SetDateTime("P_DTHISTPALM", when);
    db_.Begin();  // the row is stored only with its answer, and with its key
    try {
      Run("histpalm_insert", v, nullptr);
      if (!idempotencyKey_.empty()) {
        db_.Run("INSERT INTO KVECHAMADA (CDCHAVE, DSHASHARGS, DTHISTPALM, DTCHAMADA) "
                "VALUES (:P_CDCHAVE, :P_DSHASHARGS, :P_DTHISTPALM, :P_DTCHAMADA)",
                {TextParam("P_CDCHAVE", idempotencyKey_), TextParam("P_DSHASHARGS", argsHash),
                 DateTimeParam("P_DTHISTPALM", when), DateTimeParam("P_DTCHAMADA", when)},
                nullptr);
      }
      Answer answer = ImageAnswer(HistoryRow(a, when));
      db_.Commit();
      return answer;
    } catch (...) {
      try {
        db_.Rollback();
      } catch (const std::exception&) {
        // the first failure is the one worth reporting
      }
      // The same call under way twice (a retry that overtook its first try): the one that
      // committed first stored the key, and this one answers as it did.
      if (!idempotencyKey_.empty()) {
        std::optional<Answer> again;
        try {
          again = Replayed(argsHash, a);
        } catch (const ValueError&) {
          throw;
        } catch (const std::exception&) {
        }
        if (again) return *again;
      }
      throw;
    }
  });
}

std::string RdmExpDados::ArgumentsHash(const std::vector<std::string>& a) {
  // Each argument with its length before it, so that no two argument lists run together.
  std::string all;
  for (const auto& arg : a) all += std::to_string(arg.size()) + ":" + arg;
  unsigned char digest[crypto_hash_sha256_BYTES];
  crypto_hash_sha256(digest, reinterpret_cast<const unsigned char*>(all.data()), all.size());
  char hex[crypto_hash_sha256_BYTES * 2 + 1];
  sodium_bin2hex(hex, sizeof hex, digest, sizeof digest);
  return hex;
}

std::optional<Answer> RdmExpDados::Replayed(const std::string& argsHash, const std::vector<std::string>& a) {
  if (idempotencyKey_.empty()) return std::nullopt;
  TClientDataSet rows;
  db_.Run("SELECT DSHASHARGS, DTHISTPALM FROM KVECHAMADA WHERE CDCHAVE = :P_CDCHAVE",
          {TextParam("P_CDCHAVE", idempotencyKey_)}, &rows);
  rows.First();
  if (rows.Eof()) return std::nullopt;
  if (rows.FieldByName("DSHASHARGS").AsString() != argsHash)
    throw ValueError("idempotency key \"" + LogText(idempotencyKey_, 40) +
                     "\" was used by an earlier call with other arguments; a new call needs a new key");
  spdlog::info("InsHistPalm: idempotency key {} seen before: answered as the first time",
               LogText(idempotencyKey_, 40));
  return ImageAnswer(HistoryRow(a, rows.FieldByName("DTHISTPALM").AsDateTime()));
}

// The row InsHistPalm stored, in the form GetHistPalm reads it back.
std::string RdmExpDados::HistoryRow(const std::vector<std::string>& a, TDateTime when) {
  const ImageLayout& layout = HistPalmLayout();
  TClientDataSet row(layout.table);
  row.FieldDefs() = layout.fields;
  row.CreateDataSet();
  row.Append();
  row.FieldByName("CDFILIAL").SetAsString(a[0]);
  row.FieldByName("CDPALM").SetAsString(a[1]);
  row.FieldByName("DTHISTPALM").SetAsDateTime(when);
  row.FieldByName("IDHISTPALM").SetAsString(a[3]);
  row.FieldByName("IDERROPALM").SetAsString(a[4]);
  row.Post();
  row.MergeChangeLog();
  return row.Data();
}

Answer RdmExpDados::GetAgrupProd(const std::vector<std::string>& a) {
  return Guard("GetAgrupProd", [&] {
    SqlValues v;
    v.SetText("P_CDGRUPPROD", std::string(Trim(a.at(0))));
    v.SetText("P_IDTODOS", std::string(Trim(a.at(1))));
    return ImageAnswer(Image("agrupprod", AgrupProdLayout(), v));
  });
}

}  // namespace kve::server
