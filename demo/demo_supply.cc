// The volume tables of the demo: products, partners, menus and headcounts, purchase requests,
// supply authorisations, withdrawal forecasts and device history.

#include <cmath>
#include <set>

#include <fmt/format.h>

#include "demo/demo_internal.h"
#include "demo/names.h"

namespace kve::demo::internal {
namespace {

double Round(double v, int places) {
  const double k = std::pow(10.0, places);
  return std::round(v * k) / k;
}

TDateTime At(TDateTime day, int hour, int minute = 0) {
  return TDateTime::FromMs(day.DateOnly().ms() + (int64_t{hour} * 60 + minute) * 60'000);
}

TDateTime AddDays(TDateTime t, int days) { return TDateTime::FromMs(t.ms() + int64_t{days} * kMsPerDay); }

}  // namespace

const Product& DemoWriter::AnyActiveProduct() {
  for (;;) {
    const Product& p = rng_.Pick(products_);
    if (p.active) return p;
  }
}

void DemoWriter::WriteProducts() {
  const auto& tree = ProductTree();
  auto& arv = Table("ARVPROD", {"CDARVPROD", "NMARVPROD", "NRNIVEL"});
  struct Kind {
    const ProductKind* kind;
    std::string group, sub;  // "02", "0201"
  };
  std::vector<Kind> kinds;
  for (size_t g = 0; g < tree.size(); ++g) {
    const std::string top = fmt::format("{:02}", g + 1);
    arv.Add({top, tree[g].name, 1});
    for (size_t s = 0; s < tree[g].subgroups.size(); ++s) {
      const std::string sub = fmt::format("{}{:02}", top, s + 1);
      arv.Add({sub, tree[g].subgroups[s].name, 2});
      for (const ProductKind& k : tree[g].subgroups[s].products) kinds.push_back(Kind{&k, top, sub});
    }
  }

  auto& prod = Table("PRODUTO", {"CDPRODUTO", "CDARVPROD", "CDPSQPROD", "NMPRODUTO", "SGUNIDADE", "IDATIVOPROD"});
  auto& inGroup = Table("PRODAGRUP", {"CDGRUPPROD", "CDPRODUTO"});
  std::map<std::string, int> perSub;
  const int count = 600 * o_.scale;
  const auto& packages = PackageNames();
  const auto& brands = Brands();
  for (int i = 0; i < count; ++i) {
    const Kind& k = kinds[i % kinds.size()];
    const int round = static_cast<int>(i / kinds.size());
    std::string name = k.kind->name;
    if (!packages[round % packages.size()].empty()) name += " " + packages[round % packages.size()];
    if (round >= static_cast<int>(packages.size())) name += " " + brands[(round / packages.size()) % brands.size()].second;
    if (round >= static_cast<int>(packages.size() * brands.size())) name += fmt::format(" nº {}", round / (packages.size() * brands.size()) + 1);
    const int item = ++perSub[k.sub];
    const std::string arvprod = fmt::format("{}{:04}", k.sub, item);
    const std::string masked = fmt::format("{}.{}.{:04}", k.group, k.sub.substr(2), item);
    Product p{fmt::format("{:010}", i + 1), k.kind->unit, k.kind->low, k.kind->high, k.kind->price, !rng_.Chance(7)};
    prod.Add({p.code, arvprod, masked, Capped(name, 50), p.unit, p.active ? "S" : "N"});

    // Groupings: perishables, staples, family farming, special diet, snack kit.
    const bool perishable = k.group == "02" || k.group == "03" || k.group == "04";
    const bool food = k.group <= "06";
    if (perishable) inGroup.Add({"0000000001", p.code});
    else if (food) inGroup.Add({"0000000002", p.code});
    if (k.group == "02" && (name.find("agricultura familiar") != std::string::npos || rng_.Chance(25)))
      inGroup.Add({"0000000004", p.code});
    if (food && rng_.Chance(5)) inGroup.Add({"0000000003", p.code});
    if ((k.sub == "0503" || k.sub == "0601" || k.sub == "0203") && rng_.Chance(40)) inGroup.Add({"0000000005", p.code});
    products_.push_back(std::move(p));
  }

  auto& agrup = Table("AGRUPPROD", {"CDGRUPPROD", "NMGRUPPROD"});
  agrup.Add({"0000000001", "Gêneros perecíveis"});
  agrup.Add({"0000000002", "Gêneros não perecíveis"});
  agrup.Add({"0000000003", "Cardápio especial (dietas)"});
  agrup.Add({"0000000004", "Agricultura familiar"});
  agrup.Add({"0000000005", "Kit lanche"});

  auto& fa = Table("FILIARVPROD", {"CDFILIAL", "CDARVPROD"});
  for (size_t g = 0; g < tree.size(); ++g) fa.Add({kDemoCentral, fmt::format("{:02}", g + 1)});
  for (const Branch& b : branches_)
    for (int g = 1; g <= (b.creche ? 5 : 7); ++g) fa.Add({b.code, fmt::format("{:02}", g)});
  FlushAll();
}

void DemoWriter::WritePartners() {
  auto& cli = Table("CLIENTE", {"CDCLIENTE", "NRINSJURCL", "NMRAZSOCCL"});
  auto& servclie = Table("SERVCLIE", {"CDFILIAL", "CDSERVFILI", "CDCLIENTE"});
  std::set<std::string> used;
  const int clients = 200 * o_.scale;
  for (int i = 0; i < clients; ++i) {
    const bool company = rng_.Chance(70);
    std::string number, code;
    do {
      number = company ? Cnpj(rng_) : Cpf(rng_);
      code = (company ? "J" : "F") + number;
    } while (!used.insert(code).second);
    cli.Add({code, number, ClientName(rng_, company)});
    const Branch& b = branches_[i % branches_.size()];
    const int services = rng_.Between(1, static_cast<int>(b.services.size()));
    for (int s = 0; s < services; ++s) servclie.Add({b.code, b.services[s], code});
  }

  auto& forn = Table("FORNECED", {"CDFORNECED", "NRINSJURFO", "NMRAZSOCFO"});
  used.clear();
  const int suppliers = 50 * o_.scale;
  for (int i = 0; i < suppliers; ++i) {
    const bool company = rng_.Chance(85);
    std::string number, code;
    do {
      number = company ? Cnpj(rng_) : Cpf(rng_);
      code = (company ? "J" : "F") + number;
    } while (!used.insert(code).second);
    forn.Add({code, number, company ? CompanyName(rng_) : Capped("Produtor rural " + PersonName(rng_), 40)});
    suppliers_.push_back(code);
  }
  FlushAll();
}

void DemoWriter::WriteMenus() {
  auto& card = Table("CARDKVE", {"CDFILCENT", "NRCARDKVE", "CDTIPOCARD", "DSCARDKVE", "DTINICARD", "DTFIMCARD"});
  const char* kinds[] = {"regular", "creche", "dieta especial", "integral"};
  const TDateTime current = TDateTime::FromDate({o_.today.date().year, o_.today.date().month, 1});
  const std::pair<TDateTime, TDateTime> months[] = {{first_, AddDays(current, -1)}, {current, last_}};
  for (const auto& [from, to] : months) {
    const CivilDate m = from.date();
    for (int t = 1; t <= 4; ++t)
      card.Add({kDemoCentral, fmt::format("{:04}{:02}{:02}", m.year, m.month, t), fmt::format("{:02}", t),
                fmt::format("Cardápio {} {:02}/{:04}", kinds[t - 1], m.month, m.year), Value::Date(from),
                Value::Date(to)});
  }

  auto& efet = Table("EFETIVO", {"CDFILCENT", "NRCARDKVE", "NRCDIAKVE", "CDFILIAL", "DTEFETIVO", "CDSERVFILI",
                                 "CDTIPOCARD", "QTCLIENTE", "QTFUNC", "QTDOACAO", "STEFETIVO"});
  for (const Branch& b : branches_) {
    const int pupils = b.creche ? rng_.Between(80, 220) : rng_.Between(250, 900);
    int dayOfMenu = 0, month = 0;
    for (TDateTime day : SchoolDays()) {
      if (day.date().month != month) {
        month = day.date().month;
        dayOfMenu = 0;
      }
      ++dayOfMenu;
      for (const std::string& s : b.services) {
        const std::string menu = s == "05" ? "03" : (b.creche ? "02" : (s == "04" ? "04" : "01"));
        const int attending = s == "05" ? rng_.Between(3, 15) : pupils * rng_.Between(85, 100) / 100;
        efet.Add({kDemoCentral, fmt::format("{:04}{:02}{}", day.date().year, month, menu), std::to_string(dayOfMenu),
                  b.code, Value::DateTime(day), s, menu, static_cast<double>(attending),
                  static_cast<double>(rng_.Between(4, 25)), static_cast<double>(rng_.Between(0, 6)),
                  day < o_.today.DateOnly() ? "CONFIRMADO" : "ABERTO"});
      }
    }
  }
  FlushAll();
}

void DemoWriter::WriteRequests() {
  const auto days = SchoolDays();
  auto& head = Table("SOLICITA", {"CDFILLAN", "NRSOLICOMP", "CDFILSOLI", "DTSOLICOMP", "CDOPERSOLI"});
  auto& items = Table("SOLICOMP", {"CDFILLAN", "NRSOLICMP", "NRITEMSOLI", "CDPRODUTO", "DTPROGENTR", "QTSOLICPRO",
                                   "QTAJUSTPRO", "DSJUSTSOLI", "STDATASOLI"});
  const char* reasons[] = {"Aumento do número de alunos", "Evento escolar (festa junina)",
                           "Reposição de estoque avariado", "Cardápio especial de dieta"};
  const int requests = 100 * o_.scale;
  const TDateTime today = o_.today.DateOnly();
  for (int r = 0; r < requests; ++r) {
    const size_t bi = static_cast<size_t>(r) % branches_.size();
    const Branch& b = branches_[bi];
    const std::string number = fmt::format("{:010}", r + 1);
    const TDateTime asked = rng_.Pick(days);
    head.Add({kDemoCentral, number, b.code, Value::Date(asked), fmt::format("{:012}", 100 + bi)});
    TDateTime delivery = At(AddDays(asked, rng_.Between(2, 6)), 7);
    if (delivery > last_) delivery = At(last_, 7);
    const size_t start = rng_.Next() % products_.size();
    for (int i = 0; i < 30; ++i) {
      const Product& p = products_[(start + static_cast<size_t>(i) * 7919) % products_.size()];
      const double qty = Round(rng_.Amount(p.low, p.high, 1), 1);
      const bool adjusted = rng_.Chance(20);
      items.Add({kDemoCentral, number, i + 1, p.code, Value::DateTime(delivery), qty,
                 adjusted ? Value(Round(qty * rng_.Between(80, 120) / 100.0, 1)) : Value(),
                 rng_.Chance(10) ? Value(reasons[rng_.Between(0, 3)]) : Value(),
                 delivery < today ? "ATENDIDA" : "ABERTA"});
    }
  }
  FlushAll();
}

void DemoWriter::WriteAuthorisations() {
  const auto days = SchoolDays();
  auto& head = Table("NUMAF", {"CDFILLANC", "NRAUTOFORN", "CDFILDEST", "CDFORNECED", "DTPENTAF", "STDTPENTAF",
                               "VRTOTALAF", "IDUTILIZA"});
  auto& items = Table("ITEMAF", {"CDFILLANC", "NRAUTOFORN", "NRITEMAF", "CDMARCA", "CDPRODUTO", "QTPENTAF", "VRPREUNIAF"});
  std::vector<const Branch*> served;  // every school but the one left without an AF
  for (const Branch& b : branches_)
    if (b.code != kDemoBranchWithoutAf) served.push_back(&b);
  const int count = 100 * o_.scale;
  const TDateTime today = o_.today.DateOnly();
  for (int a = 0; a < count; ++a) {
    const std::string number = fmt::format("{:010}", 5000 + a);
    const TDateTime when = At(rng_.Pick(days), 8, 30);
    double total = 0;
    for (int i = 0; i < 10; ++i) {
      const Product& p = AnyActiveProduct();
      const double qty = Round(rng_.Amount(p.low, p.high, 1) * 4, 1);
      const double price = Round(p.price * rng_.Between(90, 115) / 100.0, 4);
      total += qty * price;
      items.Add({kDemoCentral, number, i + 1, rng_.Pick(Brands()).first, p.code, qty, price});
    }
    const bool past = when < today;
    head.Add({kDemoCentral, number, served[static_cast<size_t>(a) % served.size()]->code, rng_.Pick(suppliers_),
              Value::DateTime(when), past ? "ENTREGUE" : "PENDENTE", Round(total, 2), past ? "S" : "N"});
  }
  FlushAll();
}

void DemoWriter::WriteWithdrawals() {
  const auto days = SchoolDays();
  const TDateTime today = o_.today.DateOnly();
  auto& prev = Table("PREVRETI", {"CDFILIAL", "CDSERVFILI", "DTPREVRETI", "CDPRODUTO", "QTPREVRETI", "QTCONSRETI",
                                  "CDTIPORETI", "CDOPERADOR", "STDATARETI"});
  const int perDay = 5 + o_.scale / 10;
  for (size_t bi = 0; bi < branches_.size(); ++bi) {
    const Branch& b = branches_[bi];
    const char* nutritionist = bi < branches_.size() / 2 ? kDemoNutritionist : "000000000008";
    for (size_t d = bi % 2; d < days.size(); d += 2) {
      const size_t start = rng_.Next() % products_.size();
      for (int i = 0; i < perDay; ++i) {
        const Product& p = products_[(start + static_cast<size_t>(i) * 104729) % products_.size()];
        const double qty = Round(rng_.Amount(p.low, p.high, 1) / 2, 1);
        const bool past = days[d] < today;
        prev.Add({b.code, "02", Value::DateTime(days[d]), p.code, qty,
                  past ? Value(Round(qty * rng_.Between(85, 105) / 100.0, 1)) : Value(), rng_.Chance(5) ? "02" : "01",
                  nutritionist, past ? "ENCERRADA" : "ABERTA"});
      }
    }
  }

  auto& inv = Table("INVENTRETI", {"CDFILIAL", "NRINVENTRETI", "DTINVENTRETI"});
  auto& invItems = Table("ITINVENTRETI", {"CDFILIAL", "NRINVENTRETI", "CDPRODUTO", "QTITINVENTRETI"});
  const size_t perInventory = std::min<size_t>(20 * static_cast<size_t>(o_.scale), products_.size() / 2);
  for (const Branch& b : branches_) {
    int month = 0;
    for (TDateTime day : days) {
      if (day.date().month == month) continue;
      month = day.date().month;
      const std::string number = fmt::format("{:04}{:02}{}", day.date().year, month, b.code);
      inv.Add({b.code, number, Value::Date(day)});
      const size_t start = rng_.Next() % products_.size();
      for (size_t i = 0; i < perInventory; ++i) {
        const Product& p = products_[(start + i * 7) % products_.size()];
        invItems.Add({b.code, number, p.code, Round(rng_.Amount(0, p.high, 1), 1)});
      }
    }
  }

  // Palm 01 exported and came back; Palm 02's export never came back, so exporting to it
  // again asks for confirmation; the eeePC has one export.
  auto& hist = Table("HISTPALM", {"CDFILIAL", "CDPALM", "DTHISTPALM", "IDHISTPALM", "IDERROPALM", "DSHISTPALM"});
  const TDateTime base = days.front();
  hist.Add({kDemoCentral, "001", Value::DateTime(At(base, 15, 10)), "0", "1", "Falha na exportação."});
  hist.Add({kDemoCentral, "001", Value::DateTime(At(base, 15, 40)), "0", "0", "Exportação realizada com sucesso."});
  hist.Add({kDemoCentral, "001", Value::DateTime(At(AddDays(base, 1), 9, 5)), "1", "0", "Importação realizada com sucesso."});
  hist.Add({kDemoCentral, "003", Value::DateTime(At(AddDays(base, 2), 16, 20)), "0", "0", "Exportação realizada com sucesso."});
  hist.Add({kDemoCentral, "002", Value::DateTime(At(AddDays(base, 3), 17, 0)), "0", "0", "Exportação realizada com sucesso."});
  FlushAll();
}

}  // namespace kve::demo::internal
