#pragma once
// A server database for one test: a fresh SQLite file, or on PostgreSQL (when
// KVE_TEST_PG_URL names a server) a fresh schema that the URL puts on the search path, so
// every connection the server opens sees it. Migrated, and filled on request with a small
// central kitchen whose rows sit on the edges the filters must respect.

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/dataset/dataset.h"
#include "platform/db/database.h"
#include "platform/db/migrate.h"
#include "demo/demo_data.h"
#include "server/app_server.h"

namespace kve::testing_server {

class ServerDb {
 public:
  // "sqlite" or "postgresql"; Skip() tells whether the engine is not available.
  explicit ServerDb(const std::string& engine) {
    static std::atomic<int> serial{0};
    std::string unique = "kvesrv" + std::to_string(getpid()) + "_" + std::to_string(++serial);
    if (engine == "sqlite") {
      file_ = std::filesystem::temp_directory_path() / (unique + ".db");
      url_ = "sqlite:" + file_.string();
    } else {
      const char* pg = std::getenv("KVE_TEST_PG_URL");
      if (pg == nullptr || *pg == '\0') {
        skip_ = true;
        return;
      }
      schema_ = unique;
      auto admin = Database::Open(pg);
      admin->ExecuteScript("CREATE SCHEMA " + schema_);
      url_ = std::string(pg) + (std::string(pg).find('?') == std::string::npos ? "?" : "&") +
             "options=-csearch_path%3D" + schema_;
      pgAdminUrl_ = pg;
    }
    auto db = Open();
    MigrateDatabase(*db);
  }

  ~ServerDb() {
    if (!schema_.empty()) {
      try {
        Database::Open(pgAdminUrl_)->ExecuteScript("DROP SCHEMA " + schema_ + " CASCADE");
      } catch (const std::exception&) {
      }
    }
    if (!file_.empty()) {
      std::error_code ec;
      for (const char* ext : {"", "-wal", "-shm", "-journal"})
        std::filesystem::remove(file_.string() + ext, ec);
    }
  }

  bool Skip() const { return skip_; }
  const std::string& Url() const { return url_; }
  std::unique_ptr<Database> Open() const { return Database::Open(url_); }
  void Execute(const std::string& script) const { Open()->ExecuteScript(script); }

  // Central 0001 with aggregated branches 0002, 0003 and 0004 (0004 takes invoices only
  // against an AF); central 0008 with branch 0009, which no export of 0001 may show.
  // Products 1 (grouping 01) and 3 (grouping 02) are active, 2 is inactive. Dates sit in
  // March 2026, around a menu range 2026-03-02..2026-03-06.
  void FillSmallCentral() const {
    Execute(R"sql(
INSERT INTO FILIAL (CDFILIAL, NMFILIAL, IDFILCENTKVE, CDFILCENTKVE, IDBLOQNFSAF) VALUES
  ('0001', 'Central de Merenda', 'S', NULL, 'N'),
  ('0002', 'Escola São João', 'N', '0001', 'N'),
  ('0003', 'Creche Pequeno Príncipe', 'N', '0001', 'N'),
  ('0004', 'Escola Açaí', 'N', '0001', 'S'),
  ('0008', 'Outra Central', 'S', NULL, 'N'),
  ('0009', 'Escola de Outra Central', 'N', '0008', 'N');
INSERT INTO OPERADOR (CDOPERADOR, NMOPERADOR, CDSENHAOPE, CDFILIAL) VALUES
  ('000000000007', 'Ana Luísa Conceição', 'segredo', '0001'),
  ('000000000010', 'José Araújo', 'outra', '0002');
INSERT INTO FILIOPER (CDFILIAL, CDOPERADOR) VALUES
  ('0002', '000000000010'), ('0003', '000000000007'), ('0009', '000000000010');
INSERT INTO PRODUTO (CDPRODUTO, CDARVPROD, CDPSQPROD, NMPRODUTO, SGUNIDADE, IDATIVOPROD) VALUES
  ('0000000001', '01010001', '01.01.0001', 'Feijão carioca', 'KG', 'S'),
  ('0000000002', '01010002', '01.01.0002', 'Arroz parboilizado', 'KG', 'N'),
  ('0000000003', '02010001', '02.01.0001', 'Maçã', 'UN', 'S');
INSERT INTO AGRUPPROD (CDGRUPPROD, NMGRUPPROD) VALUES
  ('0000000001', 'Grãos'), ('0000000002', 'Hortifrúti');
INSERT INTO PRODAGRUP (CDGRUPPROD, CDPRODUTO) VALUES
  ('0000000001', '0000000001'), ('0000000001', '0000000002'), ('0000000002', '0000000003');
INSERT INTO PARAM (CDFILIAL, IDCONSMEFE, IDBLOQNFSAF) VALUES ('0001', 'S', 'N'), ('0008', 'N', 'S');
INSERT INTO PARASUPRI (CDFILIAL, IDJUSTSOLI, IDBLOQALTSOLAVR) VALUES ('0001', 'S', 'N');
INSERT INTO SERVICO (CDFILIAL, CDSERVFILI, NMSERVICO, CDTIPOCARD) VALUES
  ('0002', 'ALM', 'Almoço', 'INFANTIL'), ('0003', 'LAN', 'Lanche da tarde', 'CRECHE'),
  ('0009', 'ALM', 'Almoço', 'INFANTIL');
INSERT INTO TIPOCARD (CDFILIAL, CDTIPOCARD, NMTIPOCARD) VALUES
  ('0001', 'INFANTIL', 'Cardápio infantil'), ('0001', 'CRECHE', 'Cardápio de creche'),
  ('0008', 'OUTRO', 'Cardápio de outra central');
INSERT INTO EFETIVO (CDFILCENT, NRCARDKVE, NRCDIAKVE, CDFILIAL, DTEFETIVO, CDSERVFILI,
                     CDTIPOCARD, QTCLIENTE, QTFUNC, QTDOACAO) VALUES
  ('0001', '1', '1', '0002', '2026-03-01 00:00:00', 'ALM', 'INFANTIL', 10, 1, 0),
  ('0001', '1', '2', '0002', '2026-03-02 00:00:00', 'ALM', 'INFANTIL', 12.5, 2, 0),
  ('0001', '1', '6', '0002', '2026-03-06 11:30:00', 'ALM', 'INFANTIL', 30, 3, 1),
  ('0001', '1', '7', '0002', '2026-03-07 00:00:00', 'ALM', 'INFANTIL', 40, 4, 0),
  ('0001', '1', '3', '0003', '2026-03-03 00:00:00', 'LAN', 'CRECHE', 20, 2, 0),
  ('0008', '9', '3', '0009', '2026-03-03 00:00:00', 'ALM', 'INFANTIL', 50, 5, 0);
INSERT INTO SOLICITA (CDFILLAN, NRSOLICOMP, CDFILSOLI, DTSOLICOMP, CDOPERSOLI) VALUES
  ('0001', '100', '0002', '2026-02-20', '000000000007'),
  ('0001', '101', '0003', '2026-02-25', '000000000007'),
  ('0008', '900', '0009', '2026-02-28', '000000000010');
INSERT INTO SOLICOMP (CDFILLAN, NRSOLICMP, NRITEMSOLI, CDPRODUTO, DTPROGENTR, QTSOLICPRO) VALUES
  ('0001', '100', 1, '0000000001', '2026-03-02 00:00:00', 5),
  ('0001', '100', 2, '0000000002', '2026-03-09 00:00:00', 7),
  ('0001', '101', 1, '0000000003', '2026-03-04 08:00:00', 3.25),
  ('0008', '900', 1, '0000000001', '2026-03-04 00:00:00', 9);
INSERT INTO FORNECED (CDFORNECED, NRINSJURFO, NMRAZSOCFO) VALUES
  ('J0001', '12345678000199', 'Distribuidora Ribeirão Ltda.');
INSERT INTO NUMAF (CDFILLANC, NRAUTOFORN, CDFILDEST, CDFORNECED, DTPENTAF, VRTOTALAF) VALUES
  ('0001', 'AF1', '0002', 'J0001', '2026-03-10 00:00:00', 100.5),
  ('0001', 'AF2', '0003', 'J0001', '2026-04-01 00:00:00', 50),
  ('0008', 'AF9', '0009', 'J0001', '2026-03-10 00:00:00', 70);
INSERT INTO ITEMAF (CDFILLANC, NRAUTOFORN, NRITEMAF, CDMARCA, CDPRODUTO, QTPENTAF, VRPREUNIAF) VALUES
  ('0001', 'AF1', 1, NULL, '0000000001', 10, 4.1234);
)sql");
  }

 private:
  bool skip_ = false;
  std::string url_;
  std::string pgAdminUrl_;
  std::string schema_;
  std::filesystem::path file_;
};

// Every engine a server test runs on.
inline std::vector<std::string> Engines() { return {"sqlite", "postgresql"}; }

// The column `field` of every row of an image, as text.
inline std::vector<std::string> Column(const std::string& image, const std::string& field) {
  TClientDataSet ds;
  ds.SetData(image);
  std::vector<std::string> out;
  for (ds.First(); !ds.Eof(); ds.Next()) out.push_back(ds.FieldByName(field).AsString());
  return out;
}

// Fills `data` with the demo's central as of `today` and starts a server on it, on a free port:
// where the end-to-end tests begin.
inline std::unique_ptr<server::AppServer> StartDemoServer(const ServerDb& data, TDateTime today) {
  demo::DemoOptions o;
  o.today = today;
  demo::FillDemoDatabase(*data.Open(), o);
  server::AppServerOptions so;
  so.dbUrl = data.Url();
  auto server = std::make_unique<server::AppServer>(so);
  server->Start();
  return server;
}

}  // namespace kve::testing_server
