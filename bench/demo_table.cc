#include "bench/demo_table.h"

#include <fmt/format.h>

namespace kve {
namespace {

constexpr const char* kProd[] = {
    "FEIJÃO CARIOCA TIPO 1", "AÇÚCAR REFINADO", "PÃO FRANCÊS", "MAÇÃ FUJI", "CAFÉ TORRADO E MOÍDO",
    "LEITE LONGA VIDA INTEGRAL", "ÓLEO DE SOJA", "FRANGO CONGELADO", "CARNE BOVINA ACÉM",
    "LINGÜIÇA TOSCANA", "MACARRÃO ESPAGUETE", "BATATA INGLESA", "CEBOLA", "TOMATE ITALIANO",
    "MANTEIGA COM SAL", "QUEIJO MUÇARELA", "PRESUNTO COZIDO", "IOGURTE NATURAL", "REQUEIJÃO CREMOSO",
    "ALFACE CRESPA", "LIMÃO TAHITI", "MAMÃO FORMOSA", "ABÓBORA CABOTIÁ", "FARINHA DE MANDIOCA",
    "FUBÁ MIMOSO", "SAL REFINADO IODADO", "VINAGRE DE ÁLCOOL", "SABÃO EM PÓ \"MULTIUSO\"",
    "DETERGENTE LÍQUIDO", "PEITO DE FRANGO S/ OSSO", "FILÉ DE TILÁPIA", "MOLHO DE TOMATE P&Q",
    "ARROZ AGULHINHA TIPO 1", "AMÊNDOA TORRADA", "PURÊ DE BATATA <INSTANTÂNEO>", "CHÁ MATE"};
constexpr const char* kPack[] = {"", " 1KG", " 5KG", " PCT 500G", " CX 12UN", " LT 900ML",
                                 " FD 10X1KG", " GRANEL", " BANDEJA 300G"};
constexpr const char* kUnid[] = {"KG", "UN", "LT", "CX", "PCT", "FD", "DZ", "MAÇO", "GL", "BD"};
constexpr const char* kTipo[][2] = {{"01", "RETIRADA PARA PRODUÇÃO"},
                                    {"02", "TRANSFERÊNCIA ENTRE FILIAIS"},
                                    {"03", "DEVOLUÇÃO AO FORNECEDOR"},
                                    {"04", "PERDA / AVARIA"},
                                    {"05", "CONSUMO INTERNO"},
                                    {"06", "AMOSTRA PARA ANÁLISE"}};
constexpr const char* kOper[] = {"JOÃO.SILVA",   "MARIA.SOUZA",  "JOSÉ.LIMA", "ANA.ASSUNÇÃO",
                                 "PAULO.ARAÚJO", "LÚCIA.MELO", "OP0007",    "ADMIN"};

// xorshift64*, as the peers' generator
class Rng {
 public:
  uint64_t Next() {
    x_ ^= x_ >> 12;
    x_ ^= x_ << 25;
    x_ ^= x_ >> 27;
    return (x_ * 0x2545F4914F6CDD1DULL) >> 11;
  }
  uint64_t Below(uint64_t k) { return Next() % k; }

 private:
  uint64_t x_ = 0x9E3779B97F4A7C15ULL;
};

template <size_t N>
const char* Pick(Rng& r, const char* const (&a)[N]) {
  return a[r.Below(N)];
}

// The first `n` characters of a UTF-8 text.
std::string CutChars(std::string s, size_t n) {
  size_t chars = 0;
  for (size_t i = 0; i < s.size(); ++i)
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80 && chars++ == n) return s.substr(0, i);
  return s;
}

}  // namespace

std::vector<FieldDef> PrevRetiFields() {
  return {StringField("CDFILIAL", 4),   StringField("CDSERVFILI", 5),
          TypedField("DTPREVRETI", FieldType::DateTime),
          StringField("CDPRODUTO", 10), StringField("CDARVPROD", 20),
          StringField("CDPSQPROD", 20), StringField("NMPRODUTO", 50),
          StringField("SGUNIDADE", 10), StringField("QTPREVRETI", 40),
          StringField("QTCONSRETI", 40), StringField("CDTIPORETI", 2),
          StringField("NMTIPORETI", 40), StringField("CDOPERADOR", 12),
          StringField("FILSERPRDT", 29)};
}

void FillPrevReti(TClientDataSet& ds, int rows) {
  ds.Close();
  ds.FieldDefs() = PrevRetiFields();
  ds.CreateDataSet();
  Rng r;
  RowBuilder row(ds.FieldCount());
  for (int i = 0; i < rows; ++i) {
    const std::string fil = fmt::format("{:04}", 1 + r.Below(40));
    const std::string srv = fmt::format("{:05}", 1 + r.Below(300));
    const std::string prd = std::to_string(100000 + r.Below(900000));
    const int y = static_cast<int>(2005 + r.Below(25)), m = static_cast<int>(1 + r.Below(12)),
              d = static_cast<int>(1 + r.Below(28));
    CivilTime t;
    if (r.Below(10) >= 7) {
      t.hour = static_cast<int>(6 + r.Below(14));
      t.minute = static_cast<int>(r.Below(60));
      t.second = static_cast<int>(r.Below(60));
    }
    const uint64_t a1 = r.Below(20), a2 = r.Below(50), a3 = r.Below(999), a4 = r.Below(9999);
    const std::string arv = fmt::format("{:02}.{:02}.{:03}.{:04}", a1, a2, a3, a4);
    const std::string psq = fmt::format("789{:010}", r.Below(10'000'000'000ULL));
    std::string nm = Pick(r, kProd);
    nm = CutChars(nm + Pick(r, kPack), 50);
    const uint64_t qp = r.Below(100'000'000);
    const uint64_t qc = r.Below(qp + 1);
    const auto& tipo = kTipo[r.Below(6)];
    const char* unid = Pick(r, kUnid);
    const char* oper = Pick(r, kOper);

    row.SetStr(0, fil);
    row.SetStr(1, srv);
    row.SetInt(2, TDateTime::FromDate({y, m, d}, t).ms());
    row.SetStr(3, prd);
    row.SetStr(4, arv);
    row.SetStr(5, psq);
    row.SetStr(6, nm);
    row.SetStr(7, unid);
    row.SetStr(8, fmt::format("{},{:05}", qp / 100000, qp % 100000));
    row.SetStr(9, fmt::format("{},{:05}", qc / 100000, qc % 100000));
    row.SetStr(10, tipo[0]);
    row.SetStr(11, tipo[1]);
    row.SetStr(12, oper);
    row.SetStr(13, fmt::format("{}{}{:<10}{:02}/{:02}/{:04}", fil, srv, prd, d, m, y));
    ds.AppendRow(row);
  }
  ds.First();
}

}  // namespace kve
