#pragma once
// What the parts of the demo generator share while one demo is written.

#include <memory>
#include <string>
#include <vector>

#include "demo/bulk_insert.h"
#include "demo/demo_data.h"
#include "demo/random.h"

namespace kve::demo::internal {

struct Product {
  std::string code;   // CDPRODUTO
  std::string unit;
  double low, high, price;
  bool active;
};

struct Branch {
  std::string code, name;
  bool creche;       // serves the under-threes: more services, the creche menu
  std::vector<std::string> services;  // CDSERVFILI
};

class DemoWriter {
 public:
  DemoWriter(Database& db, const DemoOptions& o);

  // Each writes its tables; later ones use what earlier ones chose.
  void WriteBranches();    // FILIAL, PALM, OPERADOR, NUTRICIO, FILIOPER, PARAM, PARASUPRI
  void WriteCatalogues();  // SERIE, TIPOOPER, JUSTSOLI, TIPORETI, MARCA, TIPOCARD, SERVICO
  void WriteProducts();    // ARVPROD, PRODUTO, FILIARVPROD, AGRUPPROD, PRODAGRUP
  void WritePartners();    // CLIENTE, FORNECED, SERVCLIE
  void WriteMenus();       // CARDKVE, EFETIVO
  void WriteRequests();    // SOLICITA, SOLICOMP
  void WriteAuthorisations();  // NUMAF, ITEMAF
  void WriteWithdrawals();     // PREVRETI, INVENTRETI, ITINVENTRETI, HISTPALM
  DemoSummary Summary() const { return summary_; }

 private:
  BulkInserter& Table(const std::string& name, std::vector<std::string> columns);
  void FlushAll();
  // School days (Monday to Friday) from the first day of the previous month to the last day
  // of the current one.
  std::vector<TDateTime> SchoolDays() const;
  const Product& AnyActiveProduct();

  Database& db_;
  DemoOptions o_;
  Rng rng_;
  TDateTime first_, last_;  // the demo's period
  std::vector<Branch> branches_;  // the aggregated branches of the central
  std::vector<Product> products_;
  std::vector<std::string> suppliers_;
  std::vector<std::unique_ptr<BulkInserter>> open_;
  DemoSummary summary_;

  friend class DemoWriterAccess;
};

}  // namespace kve::demo::internal
