#pragma once
// The rows of the export table catalogue (catalogue.h), as constant data: every table's
// dataset and table names, where its rows come from, its fields in order and its files per
// target in their exact letter case. catalogue.cc serves them; they stand in a header so that
// a table named in code is found when the code is compiled (IndexOf, TableName in
// table_set.h), and a name the catalogue lacks does not build.

#include <cstddef>
#include <iterator>
#include <string_view>

#include "catalogue/catalogue.h"

namespace kve::exporting::rows {

inline constexpr FieldSpec T(const char* name, int size, unsigned char marks = 0) {
  return {name, FieldType::String, size, marks};
}
inline constexpr FieldSpec D(const char* name) { return {name, FieldType::Date, 0, 0}; }
inline constexpr FieldSpec DT(const char* name) { return {name, FieldType::DateTime, 0, 0}; }
inline constexpr FieldSpec I(const char* name) { return {name, FieldType::Int32, 0, 0}; }

// ---- fields, in column order

inline constexpr FieldSpec kEfetClie[] = {T("CDFILCENT", 4), T("CDFILIAL", 4), T("CDTIPOCARD", 10),
    T("CDSERVFILI", 5), D("DTPROGENTR"), T("CDCLIENTE", 21), T("NMCLIENTE", 40),
    T("QTCLIENTE", 10), T("QTFUNC", 10), T("QTDOACAO", 10), T("FILTPCSEDT", 29)};
inline constexpr FieldSpec kInventario[] = {T("CDFILIAL", 4), T("CDOPERADOR", 12), D("DTLANCESTQ"),
    T("CDPRODUTO", 10), T("FILOPEDTPD", 36), T("CDARVPROD", 20), T("NMPRODUTO", 50),
    T("SGUNIDADE", 5), T("QUANTPROD", 10)};
inline constexpr FieldSpec kItemEntr[] = {T("NRLANCNFE", 18), T("CDPRODUTO", 10), T("CDARVPROD", 30),
    T("NMPRODUTO", 50), T("SGUNIDADE", 5), T("QTITEMPROD", 10), T("VRUNITITEM", 10),
    T("NRNFEPROD", 28), T("CDFILLANC", 4), T("CDFILDEST", 4), T("CDMARCA", 5), T("QTPENTAF", 10),
    T("VRPREUNIAF", 10), T("CDPSQPROD", 20)};
inline constexpr FieldSpec kItemSaid[] = {T("NRLANCNFS", 18), T("CDPRODUTO", 10), T("CDARVPROD", 30),
    T("NMPRODUTO", 50), T("SGUNIDADE", 5), T("QTITEMPROD", 10), T("VRUNITITEM", 10),
    T("NRNFSPROD", 28)};
inline constexpr FieldSpec kLancEntr[] = {T("NRLANCNFE", 18), T("CDFILIAL", 4), T("CDTIPOOPER", 2),
    T("NMTIPOOPER", 30), T("IDENTORIOP", 1), T("CDORIGEM", 21), T("NMORIGEM", 50),
    T("NRINSJURNF", 20), D("DTEMISSAO"), D("DTENTRADA"), T("VRNOTAFISC", 10),
    T("NRNOTAFISC", 20), T("CDSERIE", 5), T("IDUTILVENC", 1), T("ORIGNFSER", 51),
    T("IDIMPAF", 1), T("NRAUTOFORN", 10), D("DTPENTAF")};
inline constexpr FieldSpec kLancSaid[] = {T("NRLANCNFS", 18), T("CDFILIAL", 4), T("CDTIPOOPER", 2),
    T("NMTIPOOPER", 30), T("IDENTORIOP", 1), T("CDORIGEM", 21), T("NMORIGEM", 40),
    T("NRINSJURNF", 20), D("DTSAIDA"), T("VRNOTAFISC", 10), T("IDUTILVENC", 1)};
inline constexpr FieldSpec kVencEntr[] = {T("NRLANCNFE", 18), D("DTVENCENTR"), T("VRVENCENTR", 10),
    T("STDTVCENTR", 10)};
inline constexpr FieldSpec kVencSaid[] = {T("NRLANCNFS", 18), D("DTVENCSAID"), T("VRVENCSAID", 10)};
inline constexpr FieldSpec kEfetivos[] = {T("CDFILCENT", 4), T("NRCARDKVE", 10), T("NRCDIAKVE", 10),
    T("CDFILIAL", 4), DT("DTEFETIVO"), T("CDSERVFILI", 5), T("CDTIPOCARD", 10),
    T("QTCLIENTE", 40), T("QTFUNC", 40), T("QTDOACAO", 40), T("FILSETPCDT", 29)};
inline constexpr FieldSpec kServClie[] = {T("CDFILIAL", 4), T("CDTIPOCARD", 10), T("CDSERVFILI", 5),
    T("CDCLIENTE", 21), T("NMCLIENTE", 50), T("FILTPCSERV", 19)};
inline constexpr FieldSpec kFilial[] = {T("CDFILIAL", 4), T("NMFILIAL", 30), T("CDFILCENT", 4),
    T("IDBLOQNFSAF", 1)};
inline constexpr FieldSpec kServico[] = {T("CDFILIAL", 4), T("CDSERVFILI", 5), T("NMSERVICO", 40),
    T("CDTIPOCARD", 10)};
inline constexpr FieldSpec kOperador[] = {T("CDFILIAL", 4), T("CDOPERADOR", 12), T("NMOPERADOR", 40),
    T("CDSENHAOPE", 20, kHidden), T("CDFILIOPER", 16)};
inline constexpr FieldSpec kParam[] = {T("IDCONSMEFE", 1), T("IDBLOQNFSAF", 1)};
inline constexpr FieldSpec kTipoCard[] = {T("CDFILIAL", 4), T("CDTIPOCARD", 10), T("NMTIPOCARD", 100)};
inline constexpr FieldSpec kForneced[] = {T("CDFORNECED", 21), T("NRMSKFORN", 20), T("NRINSJURFO", 20),
    T("NMRAZSOCFO", 40)};
inline constexpr FieldSpec kProduto[] = {T("CDPRODUTO", 10), T("CDARVPROD", 20), T("CDPSQPROD", 20),
    T("NMPRODUTO", 50), T("SGUNIDADE", 10)};
inline constexpr FieldSpec kCliente[] = {T("CDCLIENTE", 21), T("NRMSKCLIE", 20), T("NRINSJURCL", 20),
    T("NMRAZSOCCL", 50)};
inline constexpr FieldSpec kSerie[] = {T("CDSERIE", 5), T("DSSERIE", 20),
    T("IDLANCMTO", 1, kFixed | kReadOnly)};
inline constexpr FieldSpec kTipoOper[] = {T("CDTIPOOPER", 2), T("NMTIPOOPER", 30), T("IDENTTIPOP", 1),
    T("IDENTORIOP", 1), T("IDUTILVENC", 1)};
inline constexpr FieldSpec kDataSoli[] = {T("CDFILSOLI", 4), DT("DTPROGENTR"),
    T("STDATASOLI", 10, kReadOnly)};
inline constexpr FieldSpec kSolicita[] = {T("NRSOLICOMP", 10), T("CDFILSOLI", 4), T("CDFILLAN", 4)};
inline constexpr FieldSpec kSoliComp[] = {T("CDFILISOLI", 4), T("CDFILLAN", 4), T("NRSOLICMP", 10),
    T("CDPRODUTO", 10), T("CDARVPROD", 20), T("CDPSQPROD", 20), T("NMPRODUTO", 50),
    DT("DTPROGENTR"), T("QTSOLICPRO", 40), T("QTAJUSTPRO", 40), T("SGUNIDADE", 10),
    T("DSJUSTSOLI", 40, kFixed), T("CDOPERSOLI", 12, kFixed), T("FILSOLPRDT", 34)};
inline constexpr FieldSpec kDataEfet[] = {T("CDFILIAL", 4), T("CDSERVFILI", 5), T("CDTIPOCARD", 10),
    DT("DTEFETIVO"), T("STDATAEFET", 10, kReadOnly)};
inline constexpr FieldSpec kNumAF[] = {T("CDFILLANC", 4), T("CDFILDEST", 4), T("NRAUTOFORN", 10),
    T("CDFORNECED", 21), DT("DTPENTAF"), T("STDTPENTAF", 10), T("VRTOTALAF", 40),
    T("IDUTILIZA", 1, kFixed)};
inline constexpr FieldSpec kItemAF[] = {T("CDFILLANC", 4), T("CDFILDEST", 4), T("NRAUTOFORN", 10),
    T("CDMARCA", 5), T("CDPRODUTO", 10), DT("DTPENTAF"), T("QTPENTAF", 40), T("VRPREUNIAF", 40),
    T("CDARVPROD", 20), T("NMPRODUTO", 50), T("SGUNIDADE", 10), T("CDPSQPROD", 20)};
inline constexpr FieldSpec kJustSoli[] = {T("DSJUSTSOL", 40)};
inline constexpr FieldSpec kParaSupri[] = {T("IDJUSTSOLI", 1), T("IDBLOQALTSOLAVR", 1)};
inline constexpr FieldSpec kPrevReti[] = {T("CDFILIAL", 4), T("CDSERVFILI", 5), DT("DTPREVRETI"),
    T("CDPRODUTO", 10), T("CDARVPROD", 20), T("CDPSQPROD", 20), T("NMPRODUTO", 50),
    T("SGUNIDADE", 10), T("QTPREVRETI", 40), T("QTCONSRETI", 40), T("CDTIPORETI", 2),
    T("NMTIPORETI", 40), T("CDOPERADOR", 12), T("FILSERPRDT", 29)};
inline constexpr FieldSpec kDtPrevReti[] = {T("CDFILIAL", 4), T("CDSERVFILI", 5), DT("DTPREVRETI"),
    T("STDATARETI", 10)};
inline constexpr FieldSpec kTipoReti[] = {T("CDTIPORETI", 2), T("NMTIPORETI", 40)};
inline constexpr FieldSpec kServRetirada[] = {T("CDFILIAL", 4), T("CDSERVFILI", 5), T("NMSERVICO", 40)};
inline constexpr FieldSpec kItemInvent[] = {T("CDARVPROD", 20), T("CDFILIAL", 4), T("CDPRODUTO", 10),
    T("NRINVENTRETI", 10), T("NMPRODUTO", 50), T("SGUNIDADE", 5),
    T("QTITINVENTRETI", 1, kFixed)};
inline constexpr FieldSpec kExpFilial[] = {T("CDFILIAL", 4), T("CDARVPROD", 20), T("IDBLOQNFSAF", 1)};
inline constexpr FieldSpec kProdCod[] = {T("CDPSQPROD", 20), I("PRODUTONRO")};
inline constexpr FieldSpec kIdioma[] = {T("CDIDIOMA", 1)};
inline constexpr FieldSpec kDados[] = {T("CDFILIAL", 4), T("NMFILIAL", 30), T("CDOPERADOR", 12),
    T("NMOPERADOR", 40), T("CDSENHAOPE", 20, kHidden | kNotDisplayed), T("CDFILIOPER", 16),
    T("DIREXP", 100), T("PRODMASK", 20)};
inline constexpr FieldSpec kHistPalm[] = {T("CDFILIAL", 4), T("CDPALM", 3), DT("DTHISTPALM"),
    T("IDHISTPALM", 1), T("IDERROPALM", 1)};
inline constexpr FieldSpec kAgrupProd[] = {T("CDGRUPPROD", 10), T("NMGRUPPROD", 40)};

// ---- the tables, in writing order
// dataset, table, source, slot, fields, Palm XML, Palm PDB, queue rank, removal rank, eeePC file

using S = Source;
inline constexpr TableSpec kTables[] = {
    {"cdsEfetClie", "EFETCLIE", S::Empty, -1, kEfetClie, "EFETCLIE.xml", "EFETCLIE.pdb", 7, 6, "EFETCLIE.cds"},
    {"cdsInventario", "INVENTARIO", S::Empty, -1, kInventario, "INVENTARIO.xml", "INVENTARIO.pdb", 10, 10, "INVENTARIO.cds"},
    {"cdsItemEntr", "ITEMENTR", S::Empty, -1, kItemEntr, "ITEMENTR.xml", "ITEMENTR.pdb", 11, 11, "ITEMENTR.cds"},
    {"cdsItemSaid", "ITEMSAID", S::Empty, -1, kItemSaid, "ITEMSAID.xml", "ITEMSAID.pdb", 12, 12, "ITEMSAID.cds"},
    {"cdsLancEntr", "LANCENTR", S::Empty, -1, kLancEntr, "LANCENTR.xml", "LANCENTR.pdb", 13, 13, "LANCENTR.cds"},
    {"cdsLancSaid", "LANCSAID", S::Empty, -1, kLancSaid, "LANCSAID.xml", "LANCSAID.pdb", 14, 14, "LANCSAID.cds"},
    {"cdsVencEntr", "VENCENTR", S::Empty, -1, kVencEntr, "VENCENTR.xml", "VENCENTR.pdb", 22, 22, "VENCENTR.cds"},
    {"cdsVencSaid", "VENCSAID", S::Empty, -1, kVencSaid, "VENCSAID.xml", "VENCSAID.pdb", 23, 23, "VENCSAID.cds"},
    {"cdsEfetivos", "EFETIVOS", S::Slot, 0, kEfetivos, "EFETIVOS.xml", "EFETIVOS.pdb", 1, 1, "EFETIVOS.CDS"},
    {"cdsServClie", "SERVCLIE", S::Slot, 1, kServClie, "SERVCLIE.xml", "SERVCLIE.pdb", 2, 5, "SERVCLIE.CDS"},
    {"cdsFilial", "FILIAL", S::Slot, 2, kFilial, "FILIAL.xml", "FILIAL.pdb", 3, 2, "FILIAL.CDS"},
    {"cdsServico", "SERVICO", S::Slot, 3, kServico, "SERVICO.xml", "SERVICO.pdb", 4, 7, "SERVICO.CDS"},
    {"cdsOperador", "OPERADOR", S::Slot, 4, kOperador, "OPERADOR.xml", "OPERADOR.pdb", 5, 3, ""},
    {"cdsParam", "PARAM", S::Slot, 5, kParam, "PARAM.xml", "PARAM.pdb", 6, 4, "PARAM.CDS"},
    {"cdsTipoCard", "TIPOCARD", S::Slot, 6, kTipoCard, "TIPOCARD.xml", "TIPOCARD.pdb", 20, 20, "TIPOCARD.CDS"},
    {"cdsForneced", "FORNECED", S::Slot, 7, kForneced, "FORNECED.xml", "FORNECED.pdb", 9, 9, "FORNECED.CDS"},
    {"cdsProduto", "PRODUTO", S::Slot, 8, kProduto, "PRODUTO.xml", "PRODUTO.pdb", 15, 15, "PRODUTO.CDS"},
    {"cdsCliente", "CLIENTE", S::Slot, 9, kCliente, "CLIENTE.xml", "CLIENTE.pdb", 8, 8, "CLIENTE.CDS"},
    {"cdsSerie", "SERIE", S::Slot, 10, kSerie, "SERIE.xml", "SERIE.pdb", 16, 16, "SERIE.CDS"},
    {"cdsTipoOper", "TIPOOPER", S::Slot, 11, kTipoOper, "TIPOOPER.xml", "TIPOOPER.pdb", 21, 21, "TIPOOPER.CDS"},
    {"cdsDataSoli", "DATASOLI", S::Slot, 12, kDataSoli, "DATASOLI.xml", "DATASOLI.pdb", 17, 17, "DATASOLI.CDS"},
    {"cdsSolicita", "SOLICITA", S::Slot, 14, kSolicita, "SOLICITA.xml", "SOLICITA.pdb", 18, 18, "SOLICITA.cds"},
    {"cdsSoliComp", "SOLICOMP", S::Slot, 13, kSoliComp, "SOLICOMP.xml", "SOLICOMP.pdb", 19, 19, "SOLICOMP.cds"},
    {"cdsDataEfet", "DATAEFET", S::Slot, 15, kDataEfet, "DATAEFET.xml", "DATAEFET.pdb", 24, 24, "DATAEFET.cds"},
    {"cdsNumAF", "NUMAF", S::Slot, 16, kNumAF, "NUMAF.xml", "NUMAF.pdb", 25, 25, "NUMAF.cds"},
    {"cdsItemAF", "ITEMAF", S::Slot, 17, kItemAF, "ITEMAF.xml", "ITEMAF.pdb", 26, 26, "ITEMAF.cds"},
    {"cdsJustSoli", "JUSTSOLI", S::Slot, 18, kJustSoli, "JUSTSOLI.xml", "JUSTSOLI.pdb", 27, 27, "JUSTSOLI.cds"},
    {"cdsParaSupri", "PARASUPRI", S::Slot, 19, kParaSupri, "PARASUPRI.xml", "PARASUPRI.pdb", 28, 28, "PARASUPRI.cds"},
    {"cdsPrevReti", "PREVRETI", S::Slot, 20, kPrevReti, "PREVRETI.xml", "PREVRETI.pdb", 29, 29, "PREVRETI.cds"},
    {"cdsDtPrevReti", "DTPREVRETI", S::Slot, 21, kDtPrevReti, "DTPREVRETI.xml", "DTPREVRETI.pdb", 30, 30, "DTPREVRETI.cds"},
    {"cdsTipoReti", "TIPORETI", S::Slot, 22, kTipoReti, "TIPORETI.xml", "TIPORETI.pdb", 31, 31, "TIPORETI.cds"},
    {"cdsServRetirada", "SERVRETIRADA", S::Slot, 23, kServRetirada, "SERVRETIRADA.xml", "SERVRETIRADA.pdb", 32, 32, "SERVRETIRADA.cds"},
    {"cdsProdutoCod", "PROD_COD", S::Built, -1, kProdCod, "PROD_COD.xml", "PROD_COD.pdb", 33, 33, "PROD_COD.cds"},
    {"cdsIdioma", "TRADUCAO", S::Built, -1, kIdioma, "TRADUCAO.xml", "TRADUCAO.pdb", 34, 34, ""},
    {"cdsItemInvent", "ITEMINVENT", S::Slot, 24, kItemInvent, "", "", 0, 0, "ITEMINVENT.cds"},
    {"cdsExpFilial", "EXPFILIAL", S::Slot, 25, kExpFilial, "EXPFILIAL.xml", "EXPFILIAL.pdb", 37, 0, "EXPFILIAL.cds"},
    {"cdsDados", "DADOS_EEPC", S::Settings, -1, kDados, "", "", 0, 0, "DADOS_EEPC.CDS"},
    {"cdsProdCod", "", S::Local, -1, kProdCod, "", "", 0, 0, ""},
    {"cdsHistPalm", "", S::Lookup, -1, kHistPalm, "", "", 0, 0, ""},
    {"cdsAgrupProd", "", S::Lookup, -1, kAgrupProd, "", "", 0, 0, ""},
};

// The tables an export run holds, in catalogue order: every one but the screen's look-ups,
// which stand last (table_set.h holds the run's by their place here).
inline constexpr std::size_t kRunTableCount = [] {
  std::size_t n = 0;
  while (n < std::size(kTables) && kTables[n].source != Source::Lookup) ++n;
  return n;
}();
static_assert([] {
  for (std::size_t i = kRunTableCount; i < std::size(kTables); ++i)
    if (kTables[i].source != Source::Lookup) return false;
  return true;
}(), "the screen's look-ups stand after every table of the run");

// The place in the catalogue of the table with dataset name `dataset` ("cdsPrevReti"), exact
// letter case. Only in constant expressions: an unknown name is no constant, and fails the
// build.
consteval std::size_t IndexOf(std::string_view dataset) {
  for (std::size_t i = 0; i < std::size(kTables); ++i)
    if (kTables[i].dataset == dataset) return i;
  throw "export table catalogue: no dataset of that name";
}

}  // namespace kve::exporting::rows
