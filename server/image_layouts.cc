#include "server/image_layouts.h"

#include <array>
#include <charconv>
#include <sstream>

#include "platform/common/error.h"

namespace kve::server {
namespace {

// Field lists written compactly: "NAME:S10" text of 10, ":S10F" fixed width, ":S10R"
// read-only, ":S20H" hidden (the stored password), ":DT" date and time, ":D" date, ":I"
// integer.
ImageLayout Parse(std::string table, std::string_view spec) {
  ImageLayout layout{std::move(table), {}};
  std::istringstream in{std::string(spec)};
  std::string item;
  while (in >> item) {
    auto colon = item.find(':');
    FieldDef f;
    f.name = item.substr(0, colon);
    std::string_view t = std::string_view(item).substr(colon + 1);
    if (t == "DT") {
      f.type = FieldType::DateTime;
    } else if (t == "D") {
      f.type = FieldType::Date;
    } else if (t == "I") {
      f.type = FieldType::Int32;
    } else {
      f.type = FieldType::String;
      auto [p, ec] = std::from_chars(t.data() + 1, t.data() + t.size(), f.size);
      for (; ec == std::errc() && p != t.data() + t.size(); ++p) {
        if (*p == 'F') f.fixed = true;
        if (*p == 'R') f.readOnly = true;
        if (*p == 'H') f.providerFlags = pfInUpdate | pfInWhere | pfHidden;
      }
    }
    layout.fields.push_back(std::move(f));
  }
  return layout;
}

const std::array<ImageLayout, kTableSlots>& Slots() {
  static const std::array<ImageLayout, kTableSlots> slots = {
      Parse("EFETIVOS",
            "CDFILCENT:S4 NRCARDKVE:S10 NRCDIAKVE:S10 CDFILIAL:S4 DTEFETIVO:DT CDSERVFILI:S5 "
            "CDTIPOCARD:S10 QTCLIENTE:S40 QTFUNC:S40 QTDOACAO:S40 FILSETPCDT:S29"),
      Parse("SERVCLIE",
            "CDFILIAL:S4 CDTIPOCARD:S10 CDSERVFILI:S5 CDCLIENTE:S21 NMCLIENTE:S50 FILTPCSERV:S19"),
      Parse("FILIAL", "CDFILIAL:S4 NMFILIAL:S30 CDFILCENT:S4 IDBLOQNFSAF:S1"),
      Parse("SERVICO", "CDFILIAL:S4 CDSERVFILI:S5 NMSERVICO:S40 CDTIPOCARD:S10"),
      Parse("OPERADOR", "CDFILIAL:S4 CDOPERADOR:S12 NMOPERADOR:S40 CDSENHAOPE:S20H CDFILIOPER:S16"),
      Parse("PARAM", "IDCONSMEFE:S1 IDBLOQNFSAF:S1"),
      Parse("TIPOCARD", "CDFILIAL:S4 CDTIPOCARD:S10 NMTIPOCARD:S100"),
      Parse("FORNECED", "CDFORNECED:S21 NRMSKFORN:S20 NRINSJURFO:S20 NMRAZSOCFO:S40"),
      Parse("PRODUTO", "CDPRODUTO:S10 CDARVPROD:S20 CDPSQPROD:S20 NMPRODUTO:S50 SGUNIDADE:S10"),
      Parse("CLIENTE", "CDCLIENTE:S21 NRMSKCLIE:S20 NRINSJURCL:S20 NMRAZSOCCL:S50"),
      Parse("SERIE", "CDSERIE:S5 DSSERIE:S20 IDLANCMTO:S1FR"),
      Parse("TIPOOPER", "CDTIPOOPER:S2 NMTIPOOPER:S30 IDENTTIPOP:S1 IDENTORIOP:S1 IDUTILVENC:S1"),
      Parse("DATASOLI", "CDFILSOLI:S4 DTPROGENTR:DT STDATASOLI:S10R"),
      Parse("SOLICOMP",
            "CDFILISOLI:S4 CDFILLAN:S4 NRSOLICMP:S10 CDPRODUTO:S10 CDARVPROD:S20 CDPSQPROD:S20 "
            "NMPRODUTO:S50 DTPROGENTR:DT QTSOLICPRO:S40 QTAJUSTPRO:S40 SGUNIDADE:S10 "
            "DSJUSTSOLI:S40F CDOPERSOLI:S12F FILSOLPRDT:S34"),
      Parse("SOLICITA", "NRSOLICOMP:S10 CDFILSOLI:S4 CDFILLAN:S4"),
      Parse("DATAEFET", "CDFILIAL:S4 CDSERVFILI:S5 CDTIPOCARD:S10 DTEFETIVO:DT STDATAEFET:S10R"),
      Parse("NUMAF",
            "CDFILLANC:S4 CDFILDEST:S4 NRAUTOFORN:S10 CDFORNECED:S21 DTPENTAF:DT STDTPENTAF:S10 "
            "VRTOTALAF:S40 IDUTILIZA:S1F"),
      Parse("ITEMAF",
            "CDFILLANC:S4 CDFILDEST:S4 NRAUTOFORN:S10 CDMARCA:S5 CDPRODUTO:S10 DTPENTAF:DT "
            "QTPENTAF:S40 VRPREUNIAF:S40 CDARVPROD:S20 NMPRODUTO:S50 SGUNIDADE:S10 CDPSQPROD:S20"),
      Parse("JUSTSOLI", "DSJUSTSOL:S40"),
      Parse("PARASUPRI", "IDJUSTSOLI:S1 IDBLOQALTSOLAVR:S1"),
      Parse("PREVRETI",
            "CDFILIAL:S4 CDSERVFILI:S5 DTPREVRETI:DT CDPRODUTO:S10 CDARVPROD:S20 CDPSQPROD:S20 "
            "NMPRODUTO:S50 SGUNIDADE:S10 QTPREVRETI:S40 QTCONSRETI:S40 CDTIPORETI:S2 "
            "NMTIPORETI:S40 CDOPERADOR:S12 FILSERPRDT:S29"),
      Parse("DTPREVRETI", "CDFILIAL:S4 CDSERVFILI:S5 DTPREVRETI:DT STDATARETI:S10"),
      Parse("TIPORETI", "CDTIPORETI:S2 NMTIPORETI:S40"),
      Parse("SERVRETIRADA", "CDFILIAL:S4 CDSERVFILI:S5 NMSERVICO:S40"),
      Parse("ITEMINVENT",
            "CDARVPROD:S20 CDFILIAL:S4 CDPRODUTO:S10 NRINVENTRETI:S10 NMPRODUTO:S50 "
            "SGUNIDADE:S5 QTITINVENTRETI:S1F"),
      Parse("EXPFILIAL", "CDFILIAL:S4 CDARVPROD:S20 IDBLOQNFSAF:S1"),
  };
  return slots;
}

}  // namespace

const ImageLayout& SlotLayout(int slot) {
  if (slot < 0 || slot >= kTableSlots) throw Error("no table slot " + std::to_string(slot));
  return Slots()[slot];
}

const ImageLayout& HistPalmLayout() {
  static const ImageLayout l =
      Parse("HISTPALM", "CDFILIAL:S4 CDPALM:S3 DTHISTPALM:DT IDHISTPALM:S1 IDERROPALM:S1");
  return l;
}

const ImageLayout& AgrupProdLayout() {
  static const ImageLayout l = Parse("AGRUPPROD", "CDGRUPPROD:S10 NMGRUPPROD:S40");
  return l;
}

}  // namespace kve::server
