#include "demo/names.h"

namespace kve::demo {
namespace {

const std::vector<std::string> kWomen = {
    "Maria", "Ana", "Francisca", "Antônia", "Adriana", "Juliana", "Márcia", "Fernanda", "Patrícia",
    "Aline", "Sandra", "Camila", "Luíza", "Conceição", "Fátima", "Letícia", "Simone", "Cláudia",
    "Vitória", "Helena", "Beatriz", "Débora", "Lúcia", "Raquel", "Sônia", "Tânia", "Inês", "Graça"};
const std::vector<std::string> kMen = {
    "José", "João", "Antônio", "Francisco", "Carlos", "Paulo", "Pedro", "Lucas", "Luís", "Marcos",
    "Luiz", "Gabriel", "Rafael", "Sebastião", "Raimundo", "Joaquim", "Vinícius", "Mário", "Otávio",
    "Fábio", "Márcio", "Cícero", "Benedito", "Thiago", "André", "Júlio", "Sérgio", "Élton"};
const std::vector<std::string> kSurnames = {
    "Silva", "Santos", "Oliveira", "Souza", "Rodrigues", "Ferreira", "Alves", "Pereira", "Lima",
    "Gomes", "Ribeiro", "Carvalho", "Araújo", "Conceição", "Gonçalves", "Magalhães", "Brandão",
    "Assunção", "Peçanha", "Guimarães", "Simões", "Galvão", "Romão", "Falcão", "Leão", "Aragão",
    "Tavares", "Nóbrega", "Sá", "Correia", "Mendonça", "Câmara", "Estêvão", "Antunes", "Quintão"};
const std::vector<std::string> kLinks = {"", "", "", "da ", "de ", "dos ", "das "};

const std::vector<std::string> kCompanyKinds = {
    "Distribuidora", "Comercial", "Atacadão", "Cooperativa Agrícola", "Laticínios", "Frigorífico",
    "Hortifrúti", "Panificadora", "Empório", "Indústria de Alimentos", "Mercearia", "Granja"};
const std::vector<std::string> kPlaces = {
    "São Jorge", "Boa Esperança", "Santa Luzia", "Vale do Ribeira", "Serra Azul", "Três Irmãos",
    "Bom Jesus", "Nossa Senhora Aparecida", "São João", "Itaquera", "Campo Limpo", "Mogi",
    "Santo Amaro", "Ipiranga", "Paraíso", "Água Branca", "Conceição", "Jaçanã", "Tatuapé", "Grajaú"};
const std::vector<std::string> kCompanySuffix = {" Ltda", " Ltda", " ME", " EIRELI", " S.A.", ""};
const std::vector<std::string> kSchoolKinds = {
    "EMEF", "EMEI", "CEI", "EE", "Creche", "APM EMEF", "Escola Municipal", "Centro Educacional"};


std::string WithCheckDigits(std::vector<int> d, const std::vector<std::vector<int>>& weights) {
  for (const auto& w : weights) {
    int sum = 0;
    for (size_t i = 0; i < w.size(); ++i) sum += d[i] * w[i];
    const int r = sum % 11;
    d.push_back(r < 2 ? 0 : 11 - r);
  }
  std::string s;
  for (int x : d) s += static_cast<char>('0' + x);
  return s;
}

}  // namespace

std::string Capped(std::string s, size_t max) {
  if (s.size() <= max) return s;
  size_t cut = max;
  while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80) --cut;
  s.resize(cut);
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

std::string PersonName(Rng& rng) {
  const bool woman = rng.Chance(60);
  std::string n = rng.Pick(woman ? kWomen : kMen);
  if (rng.Chance(40)) n += " " + rng.Pick(woman ? kWomen : kMen);
  n += " " + rng.Pick(kLinks) + rng.Pick(kSurnames);
  if (rng.Chance(60)) n += " " + rng.Pick(kSurnames);
  return Capped(n, 40);
}

std::string CompanyName(Rng& rng) {
  return Capped(rng.Pick(kCompanyKinds) + " " + rng.Pick(kPlaces) + rng.Pick(kCompanySuffix), 40);
}

std::string ClientName(Rng& rng, bool company) {
  if (!company) return Capped(PersonName(rng), 50);
  return Capped(rng.Pick(kSchoolKinds) + " " + PersonName(rng), 50);
}

std::string Cpf(Rng& rng) {
  std::vector<int> d;
  for (int i = 0; i < 9; ++i) d.push_back(rng.Between(0, 9));
  return WithCheckDigits(d, {{10, 9, 8, 7, 6, 5, 4, 3, 2}, {11, 10, 9, 8, 7, 6, 5, 4, 3, 2}});
}

std::string Cnpj(Rng& rng) {
  std::vector<int> d;
  for (int i = 0; i < 8; ++i) d.push_back(rng.Between(0, 9));
  for (int x : {0, 0, 0, 1}) d.push_back(x);  // head office "0001"
  return WithCheckDigits(d, {{5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2}, {6, 5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2}});
}

const std::vector<TopGroup>& ProductTree() {
  static const std::vector<TopGroup> tree = {
      {"Cereais e grãos",
       {{"Arroz", {{"Arroz agulhinha tipo 1", "KG", 20, 200, 5.9}, {"Arroz parboilizado", "KG", 10, 100, 6.4},
                   {"Arroz integral", "KG", 5, 40, 8.7}}},
        {"Feijão", {{"Feijão carioca tipo 1", "KG", 10, 120, 7.8}, {"Feijão preto", "KG", 10, 80, 8.2},
                    {"Feijão fradinho", "KG", 5, 30, 9.5}}},
        {"Farinhas e massas", {{"Macarrão espaguete", "KG", 5, 60, 6.1}, {"Macarrão parafuso", "KG", 5, 60, 6.3},
                               {"Farinha de mandioca", "KG", 2, 20, 7.4}, {"Fubá mimoso", "KG", 2, 25, 4.2},
                               {"Aveia em flocos", "KG", 1, 15, 11.9}}}}},
      {"Hortifrutigranjeiros",
       {{"Legumes", {{"Batata inglesa", "KG", 10, 150, 4.9}, {"Cenoura", "KG", 5, 60, 4.1},
                     {"Abóbora cabotiá", "KG", 5, 50, 3.8}, {"Chuchu", "KG", 5, 40, 3.2},
                     {"Mandioca descascada", "KG", 5, 50, 5.6}, {"Beterraba", "KG", 3, 30, 4.4}}},
        {"Verduras", {{"Alface crespa", "UN", 10, 80, 2.5}, {"Couve manteiga", "MAÇO", 5, 40, 3.0},
                      {"Repolho verde", "KG", 5, 40, 3.4}, {"Cheiro-verde", "MAÇO", 5, 30, 2.2}}},
        {"Frutas", {{"Banana prata", "KG", 10, 120, 5.5}, {"Maçã nacional", "KG", 10, 80, 8.9},
                    {"Laranja pera", "KG", 10, 100, 3.9}, {"Mamão formosa", "KG", 5, 60, 5.2},
                    {"Melancia", "KG", 10, 120, 2.6}, {"Goiaba vermelha", "KG", 5, 40, 6.8}}},
        {"Ovos", {{"Ovos brancos", "DZ", 5, 60, 11.5}, {"Ovos caipiras", "DZ", 2, 20, 16.0}}}}},
      {"Carnes e derivados",
       {{"Bovinos", {{"Carne bovina moída (patinho)", "KG", 10, 80, 38.9}, {"Acém em cubos", "KG", 10, 60, 32.5},
                     {"Músculo bovino", "KG", 5, 40, 29.9}}},
        {"Aves", {{"Peito de frango sem osso", "KG", 10, 90, 19.9}, {"Coxa e sobrecoxa de frango", "KG", 10, 90, 13.5},
                  {"Filé de peito de frango", "KG", 5, 50, 24.9}}},
        {"Pescados e suínos", {{"Filé de tilápia", "KG", 5, 40, 44.0}, {"Lombo suíno", "KG", 5, 30, 27.5},
                               {"Pernil suíno em cubos", "KG", 5, 30, 23.9}}}}},
      {"Laticínios",
       {{"Leites", {{"Leite integral UHT", "L", 20, 300, 4.9}, {"Leite em pó integral", "KG", 2, 30, 34.0},
                    {"Fórmula infantil", "LT", 2, 20, 49.0}}},
        {"Queijos e iogurtes", {{"Queijo muçarela fatiado", "KG", 2, 20, 42.0}, {"Iogurte natural", "L", 5, 60, 9.8},
                                {"Requeijão cremoso", "KG", 1, 10, 29.0}}},
        {"Manteigas", {{"Manteiga com sal", "KG", 1, 10, 45.0}, {"Margarina com sal", "KG", 1, 15, 14.5}}}}},
      {"Mercearia",
       {{"Óleos e temperos", {{"Óleo de soja", "L", 5, 60, 7.9}, {"Sal refinado iodado", "KG", 2, 20, 2.1},
                              {"Alho descascado", "KG", 1, 10, 28.0}, {"Cebola", "KG", 5, 50, 4.7},
                              {"Colorau", "KG", 1, 5, 18.0}, {"Extrato de tomate", "KG", 2, 20, 9.9}}},
        {"Açúcares e doces", {{"Açúcar cristal", "KG", 5, 80, 4.6}, {"Açúcar mascavo", "KG", 1, 10, 9.9},
                              {"Achocolatado em pó", "KG", 2, 20, 15.9}, {"Doce de goiaba", "KG", 1, 10, 12.5}}},
        {"Panificação", {{"Pão francês", "KG", 5, 60, 14.9}, {"Pão de forma integral", "PCT", 5, 40, 8.5},
                         {"Biscoito de água e sal", "KG", 2, 20, 12.9}, {"Bolo de fubá", "KG", 2, 15, 16.0}}}}},
      {"Bebidas",
       {{"Sucos", {{"Suco de uva integral", "L", 5, 60, 12.9}, {"Polpa de fruta (cajá)", "KG", 2, 30, 14.0},
                   {"Polpa de fruta (acerola)", "KG", 2, 30, 13.0}}},
        {"Chás e cafés", {{"Café torrado e moído", "KG", 1, 10, 32.0}, {"Chá de camomila", "CX", 1, 10, 6.5},
                          {"Chá mate", "CX", 1, 10, 5.9}}}}},
      {"Limpeza e higiene",
       {{"Limpeza", {{"Detergente neutro", "L", 5, 40, 2.9}, {"Água sanitária", "L", 5, 40, 3.5},
                     {"Sabão em pó", "KG", 2, 20, 11.0}, {"Esponja dupla face", "UN", 10, 60, 1.2}}},
        {"Higiene", {{"Sabonete líquido", "L", 2, 20, 9.9}, {"Papel toalha interfolhado", "PCT", 5, 40, 12.0},
                     {"Álcool em gel 70%", "L", 2, 20, 13.9}}}}},
      {"Descartáveis",
       {{"Copos e pratos", {{"Copo descartável 200 ml", "PCT", 5, 40, 5.9}, {"Prato descartável", "PCT", 2, 20, 7.5}}},
        {"Embalagens", {{"Saco plástico para alimentos", "PCT", 2, 20, 8.9}, {"Filme de PVC", "UN", 1, 10, 19.0},
                        {"Touca descartável", "PCT", 2, 10, 9.0}}}}},
  };
  return tree;
}

const std::vector<std::pair<std::string, std::string>>& Brands() {
  static const std::vector<std::pair<std::string, std::string>> b = {
      {"SCAMP", "Sabor do Campo"}, {"BSAFR", "Boa Safra"},     {"VVERD", "Vale Verde"},
      {"GDOUR", "Grão Dourado"},   {"TNOSS", "Terra Nossa"},   {"FFELZ", "Fazenda Feliz"},
      {"MFART", "Mesa Farta"},     {"CBOA", "Colheita Boa"},   {"NUTRB", "Nutribem"},
      {"SJOAO", "Sítio São João"}, {"PRAIA", "Praia Grande"},  {"SERRA", "Serra da Mantiqueira"}};
  return b;
}

const std::vector<std::string>& PackageNames() {
  static const std::vector<std::string> p = {"",           "pacote 1 kg", "pacote 5 kg", "fardo 30 kg",
                                             "caixa 12 un", "embalagem econômica", "orgânico",
                                             "agricultura familiar", "a granel", "lote especial"};
  return p;
}

}  // namespace kve::demo
