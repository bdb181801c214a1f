#include "params/expdados_messages.h"

namespace kve {

// Stored as UTF-8. Row 42 keeps its two blanks after the first placeholder and its trailing
// blank, row 43 its two blanks after "executáveis": the texts are shown exactly as written.
const std::vector<std::string>& ExpDadosMessageLines() {
  static const std::vector<std::string> lines = {
      "N_Filial_Centr|Filial não está ligada a uma central de merenda. O cadastro deve ser realizado na matriz.",
      "Filial_cad|Filial não cadastrada.",
      "Fil_cad_mer|Filial não cadastrada como central de merenda.",
      "Fil_inf|Filial deve ser informada.",
      "DIR_N_UTIL|Diretório não pôde ser utilizado.",
      "NOT_FILE|Estrutura de arquivos de origem não encontrada.",
      "OPER_PER|Operador não está cadastrado como nutricionista.",
      "Agreg_Inf|Filial Agregada deve ser informada.",
      "PALM_INF|Palm deve ser informado.",
      "PALM_NCAD|Palm não cadastrado.",
      "PALM_NCADUSER|Palm não cadastrado como usuário do HotSync.",
      "Agreg_NCad|Não há filial agregada cadastrada para a central informada.",
      "Agreg_NCad_Nutri|Não há filial agregada cadastrada para central e nutricionista informados.",
      "DATAINI_DV|Data inicial do cardápio deve ser informada.",
      "DATAFIM_DV|Data final do cardápio deve ser informada.",
      "DATA_INV|Data inicial do cardápio deve ser menor ou igual à data final do cardápio.",
      "EXPORT_N_OK|A preparação dos dados não foi concluída.",
      "EXPORT_OK|A preparação dos dados foi realizada com sucesso.",
      "OK_HOTSYNC|A preparação dos dados foi realizada com sucesso. Aperte o botão de transferência para iniciar a exportação para o Palm.",
      "USER_UNKNOWN|Usuário não cadastrado.",
      "OK|OK",
      "Export_Import|Foi realizado uma exportação e os dados não foram importados. Deseja sobrescrever os dados exportados?",
      "Import_Deve|Importação deve ser realizada na tela Importação de Dados.",
      "DATAINIS_DV|Data inicial da solicitação de compras deve ser informada.",
      "DATAFIMS_DV|Data final da solicitação de compras deve ser informada.",
      "DATAS_INV|Data inicial da solicitação de compras deve ser menor ou igual à data final da solicitação de compras.",
      "DirKVE_inf|Diretório %s não encontrado.",
      "DATAINIA_DV|Data inicial da AF deve ser informada.",
      "DATAFIMA_DV|Data final da AF deve ser informada.",
      "DATAA_INV|Data inicial da AF deve ser menor ou igual à data final da AF.",
      "Fili_Agreg|Filial",
      "Export_Arv_Prod|Confirma a exportação de toda a árvore de produto?",
      "Nr_Solic_inf|Número de solicitações deve ser maior que zero.",
      "Fil_Prod_inf|Filtro de produtos deve ser informado.",
      "BLOQ_AF|O lançamento de Notas Fiscais de Compra será bloqueado para as filiais que não possuem Autorização de Fornecimento cadastrada.",
      "AgrupProd_cad|Agrupamento de Produto não cadastrado.",
      "NUTRI_NCAD|Nutricionista não cadastrado.",
      "OK_EEPC|A preparação dos dados foi realizada com sucesso.",
      "DirKVE_ePc|Operação bloqueada. O diretório %s não está compartilhado, ou não está com permissão de alteração.",
      "ePc_inf|eeePc deve ser informado.",
      "ePc_NCAD|eeePc não cadastrado.",
      "Exe_n_Enc|Operação bloqueada. O %s  não foi encontrado no diretório %s. ",
      "DIR_EXE_N|Operação bloqueada. O diretório de executáveis  da Orvanta não foi encontrado.",
      "Dir_N_comp|Operação bloqueada. Não foi possível exportar os dados para o diretório %s. Verifique se o diretório %s está compartilhado.",
      "EXECRDL|executável do RDL - Tavola",
      "KEL|arquivo _kel.bpl",
      "KIN|arquivo _kin.bpl",
      "KOR|arquivo _kor.bpl",
      "KUP|arquivo _kup.bpl",
      "KAV|arquivo _kav.bpl",
      "KYT|arquivo _kyt.bpl",
      "KAS|arquivo _kas.bpl",
      "Aplic_Epc|Antes de realizar a exportação encerre os aplicativos Orvanta no eeePc de destino.",
  };
  return lines;
}

}  // namespace kve
