#pragma once
// Believable Portuguese names and Brazilian registration numbers for the demo kitchen.

#include <string>
#include <utility>
#include <vector>

#include "demo/random.h"

namespace kve::demo {

std::string PersonName(Rng& rng);     // "Maria das Graças Conceição", at most 40 characters
std::string CompanyName(Rng& rng);    // a supplier, at most 40 characters
std::string ClientName(Rng& rng, bool company);  // a school or a person, at most 50
std::string Cpf(Rng& rng);            // 11 digits with valid check digits
std::string Cnpj(Rng& rng);           // 14 digits with valid check digits
// `s` cut to at most `max` bytes at a character boundary, without trailing blanks.
std::string Capped(std::string s, size_t max);

// The demo's product tree: top groups, their subgroups, and the products of each subgroup.
struct ProductKind {
  std::string name;   // "Arroz agulhinha tipo 1"
  std::string unit;   // "KG"
  double low, high;   // usual quantity of one request, in the unit
  double price;       // usual unit price
};
struct SubGroup {
  std::string name;
  std::vector<ProductKind> products;
};
struct TopGroup {
  std::string name;
  std::vector<SubGroup> subgroups;
};
const std::vector<TopGroup>& ProductTree();
const std::vector<std::pair<std::string, std::string>>& Brands();  // code, name
const std::vector<std::string>& PackageNames();   // "pacote 1 kg", to vary product names

}  // namespace kve::demo
