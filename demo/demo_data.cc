#include "demo/demo_data.h"

#include <fmt/format.h>

#include "demo/demo_internal.h"
#include "demo/names.h"
#include "platform/common/error.h"

namespace kve::demo {
namespace {

// Every table the demo writes, parents first.
const char* const kTables[] = {
    "FILIAL",   "PALM",      "OPERADOR",  "NUTRICIO",  "FILIOPER", "PARAM",      "PARASUPRI",    "SERIE",
    "TIPOOPER", "JUSTSOLI",  "TIPORETI",  "MARCA",     "TIPOCARD", "SERVICO",    "ARVPROD",      "PRODUTO",
    "FILIARVPROD", "AGRUPPROD", "PRODAGRUP", "CLIENTE", "FORNECED", "SERVCLIE",  "CARDKVE",      "EFETIVO",
    "SOLICITA", "SOLICOMP",  "NUMAF",     "ITEMAF",    "PREVRETI", "INVENTRETI", "ITINVENTRETI", "HISTPALM"};

}  // namespace

namespace internal {

DemoWriter::DemoWriter(Database& db, const DemoOptions& o) : db_(db), o_(o), rng_(o.seed) {
  const CivilDate t = o.today.date();
  const CivilDate prev = t.month == 1 ? CivilDate{t.year - 1, 12, 1} : CivilDate{t.year, t.month - 1, 1};
  const CivilDate next = t.month == 12 ? CivilDate{t.year + 1, 1, 1} : CivilDate{t.year, t.month + 1, 1};
  first_ = TDateTime::FromDate(prev);
  last_ = TDateTime::FromMs((int64_t{DayNumber(next)} - 1) * kMsPerDay);
}

BulkInserter& DemoWriter::Table(const std::string& name, std::vector<std::string> columns) {
  open_.push_back(std::make_unique<BulkInserter>(db_, name, std::move(columns)));
  return *open_.back();
}

void DemoWriter::FlushAll() {
  for (auto& t : open_) {
    t->Flush();
    summary_[t->Table()] += t->Count();
  }
  open_.clear();
}

std::vector<TDateTime> DemoWriter::SchoolDays() const {
  std::vector<TDateTime> days;
  for (int32_t d = first_.day(); d <= last_.day(); ++d) {
    if ((d - 1) % 7 < 5)  // day 1, 0001-01-01, was a Monday
      days.push_back(TDateTime::FromMs(int64_t{d} * kMsPerDay));
  }
  return days;
}

void DemoWriter::WriteBranches() {
  struct Fixed {
    const char* code;
    const char* name;
    bool creche;
    bool needsAf;
  };
  const Fixed schools[] = {
      {"0002", "EMEF Prof. João Álvares", false, true}, {"0003", "CEI Pequeno Príncipe", true, false},
      {"0004", "EMEI Vila Sônia", false, false},        {"0005", "EE Dom Pedro II", false, false},
      {"0006", "CEU Jardim São Luís", false, true},     {"0007", "EMEF Cecília Meireles", false, false},
      {"0008", "EMEI Monteiro Lobato", false, false},   {"0009", "CEI Tia Conceição", true, false},
      {"0010", "EMEF Maria Antonieta", false, false},   {"0011", "EE Santo Antônio", false, false},
      {"0012", "EMEI Jardim Paulistano", false, false}, {"0013", "CEI Criança Feliz", true, true}};
  static_assert(std::size(schools) == kDemoBranches);

  auto& filial = Table("FILIAL", {"CDFILIAL", "NMFILIAL", "IDCNTRRESC", "IDFILCENTKVE", "CDFILCENTKVE", "IDBLOQNFSAF"});
  filial.Add({kDemoCentral, "Central de Merenda Leste", "N", "S", Value(), "N"});
  for (const Fixed& s : schools) {
    filial.Add({s.code, s.name, "N", "N", kDemoCentral, s.needsAf ? "S" : "N"});
    branches_.push_back(Branch{s.code, s.name, s.creche, {}});
  }
  // A second central, so that every look-up has something to leave out.
  filial.Add({"0020", "Central de Merenda Sul", "N", "S", Value(), "N"});
  filial.Add({"0021", "EMEF Padre Anchieta", "N", "N", "0020", "N"});
  filial.Add({"0022", "CEI Sementinha", "N", "N", "0020", "N"});

  auto& palm = Table("PALM", {"CDFILIAL", "CDPALM", "NMPALM", "IDTPPERIFEXPKVE"});
  palm.Add({kDemoCentral, "001", "Palm 01", "1"});
  palm.Add({kDemoCentral, "002", "NOTE-KITCHEN-01", "2"});
  palm.Add({kDemoCentral, "003", "Palm 02", "1"});
  palm.Add({kDemoCentral, "004", "NOTE-KITCHEN-02", "2"});
  palm.Add({"0020", "001", "Palm Sul 01", "1"});

  auto& oper = Table("OPERADOR", {"CDOPERADOR", "NMOPERADOR", "CDSENHAOPE", "CDFILIAL"});
  auto& nutri = Table("NUTRICIO", {"CDNUTRICIO", "CDFILIAL"});
  auto& filioper = Table("FILIOPER", {"CDFILIAL", "CDOPERADOR"});
  oper.Add({"000000000001", "Carlos Eduardo Magalhães", "central01", kDemoCentral});
  oper.Add({kDemoNutritionist, "Ana Beatriz Conceição", "nutri2026", kDemoCentral});
  oper.Add({"000000000008", "Luíza Helena Brandão", "nutri2027", kDemoCentral});
  oper.Add({"000000000011", "Márcia Guimarães Falcão", "sul2026", "0020"});
  filioper.Add({kDemoCentral, "000000000001"});
  filioper.Add({kDemoCentral, kDemoNutritionist});
  for (size_t i = 0; i < branches_.size(); ++i) {
    // The first half of the schools has nutritionist 7, the second half nutritionist 8.
    const char* n = i < branches_.size() / 2 ? kDemoNutritionist : "000000000008";
    nutri.Add({n, branches_[i].code});
    filioper.Add({branches_[i].code, n});
    const std::string cook = fmt::format("{:012}", 100 + i);
    oper.Add({cook, PersonName(rng_), fmt::format("cozinha{}", 100 + i), branches_[i].code});
    filioper.Add({branches_[i].code, cook});
  }
  for (const char* b : {"0020", "0021", "0022"}) filioper.Add({b, "000000000011"});
  nutri.Add({"000000000011", "0021"});
  nutri.Add({"000000000011", "0022"});

  Table("PARAM", {"CDFILIAL", "IDCONSMEFE", "IDBLOQNFSAF"}).Add({kDemoCentral, "S", "N"});
  Table("PARASUPRI", {"CDFILIAL", "IDJUSTSOLI", "IDBLOQALTSOLAVR"}).Add({kDemoCentral, "S", "N"});
  FlushAll();
}

void DemoWriter::WriteCatalogues() {
  auto& serie = Table("SERIE", {"CDSERIE", "DSSERIE", "IDLANCMTO"});
  serie.Add({"1", "Série 1", "E"});
  serie.Add({"NFE", "NF eletrônica", "E"});
  serie.Add({"U", "Série única", "S"});
  serie.Add({"D", "Série D (consumidor)", "S"});

  auto& oper = Table("TIPOOPER", {"CDTIPOOPER", "NMTIPOOPER", "IDENTTIPOP", "IDENTORIOP", "IDUTILVENC"});
  oper.Add({"01", "Compra de gêneros", "E", "F", "S"});
  oper.Add({"02", "Transferência recebida", "E", "I", "N"});
  oper.Add({"03", "Doação recebida", "E", "C", "N"});
  oper.Add({"10", "Consumo na unidade", "S", "I", "N"});
  oper.Add({"11", "Transferência enviada", "S", "I", "N"});
  oper.Add({"12", "Devolução ao fornecedor", "S", "F", "S"});

  auto& just = Table("JUSTSOLI", {"CDJUSTSOLI", "DSJUSTSOL"});
  just.Add({"001", "Aumento do número de alunos"});
  just.Add({"002", "Evento escolar (festa junina)"});
  just.Add({"003", "Reposição de estoque avariado"});
  just.Add({"004", "Cardápio especial de dieta"});

  auto& reti = Table("TIPORETI", {"CDTIPORETI", "NMTIPORETI"});
  reti.Add({"01", "Preparo de refeição"});
  reti.Add({"02", "Perda por vencimento"});
  reti.Add({"03", "Doação a instituição"});
  reti.Add({"04", "Transferência entre unidades"});

  auto& marca = Table("MARCA", {"CDMARCA", "NMMARCA"});
  for (const auto& [code, name] : Brands()) marca.Add({code, name});

  auto& tipo = Table("TIPOCARD", {"CDFILIAL", "CDTIPOCARD", "NMTIPOCARD"});
  for (const char* c : {kDemoCentral, "0020"}) {
    tipo.Add({c, "01", "Cardápio regular (ensino fundamental)"});
    tipo.Add({c, "02", "Cardápio creche (0 a 3 anos)"});
    tipo.Add({c, "03", "Dieta especial (restrição alimentar)"});
    tipo.Add({c, "04", "Período integral"});
  }

  auto& serv = Table("SERVICO", {"CDFILIAL", "CDSERVFILI", "NMSERVICO", "CDTIPOCARD"});
  for (Branch& b : branches_) {
    const char* menu = b.creche ? "02" : "01";
    serv.Add({b.code, "01", "Desjejum", menu});
    serv.Add({b.code, "02", "Almoço", menu});
    serv.Add({b.code, "03", "Lanche da tarde", menu});
    b.services = {"01", "02", "03"};
    if (b.creche) {
      serv.Add({b.code, "04", "Jantar", "02"});
      b.services.push_back("04");
    } else if (b.code == "0006") {
      serv.Add({b.code, "04", "Jantar (período integral)", "04"});
      b.services.push_back("04");
    }
    if (b.code == "0002" || b.code == "0009") {
      serv.Add({b.code, "05", "Refeição de dieta especial", "03"});
      b.services.push_back("05");
    }
  }
  FlushAll();
}

}  // namespace internal

DemoSummary FillDemoDatabase(Database& db, const DemoOptions& options) {
  if (options.scale < 1 || options.scale > 300)
    throw ValueError(fmt::format("demo scale {}: expected 1 to 300", options.scale));
  if (!options.replace) {
    for (const char* t : kTables) {
      TClientDataSet any;
      db.Run(fmt::format("SELECT 1 AS X FROM {} LIMIT 1", t), {}, &any);
      if (any.RecordCount() > 0)
        throw Error(fmt::format("demo: table {} already holds rows; use --replace to empty the demo tables first", t));
    }
  }
  db.Begin();
  try {
    if (options.replace)
      for (auto it = std::rbegin(kTables); it != std::rend(kTables); ++it) db.Run(fmt::format("DELETE FROM {}", *it), {}, nullptr);
    internal::DemoWriter w(db, options);
    w.WriteBranches();
    w.WriteCatalogues();
    w.WriteProducts();
    w.WritePartners();
    w.WriteMenus();
    w.WriteRequests();
    w.WriteAuthorisations();
    w.WriteWithdrawals();
    db.Commit();
    return w.Summary();
  } catch (...) {
    try {
      db.Rollback();
    } catch (const Error&) {
      // the first failure is the one to report
    }
    throw;
  }
}

}  // namespace kve::demo
