// The server's monitoring face: the metrics text itself, and /healthz and /metrics on a live
// server behind a token.
#include "server/metrics.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <httplib.h>

#include "server/app_server.h"
#include "server/server_fixture.h"

namespace kve::server {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

TEST(MetricsTest, CountsCallsBucketsDurationsAndKeepsUnknownMethodsToOneLabel) {
  Metrics m({"GetHistPalm", "GetTabelas"});
  auto fast = m.Begin();
  auto slow = m.Begin();
  {
    auto abandoned = m.Begin();  // ended without End(): still leaves the in-flight count
    EXPECT_THAT(m.Render({}), HasSubstr("\nkve_appserver_calls_in_flight 3\n"));
  }
  EXPECT_THAT(m.Render({}), HasSubstr("\nkve_appserver_calls_in_flight 2\n"));
  fast.End("GetHistPalm", false, 0.03, 120);
  fast.End("GetHistPalm", false, 0.03, 120);  // a second End counts nothing
  slow.End("Get\"Tabelas\n", true, 100, 7);   // beyond the last bucket, under "unknown"

  std::string text = m.Render({3, 5});
  for (const char* line : {
           "kve_appserver_calls_total{method=\"GetHistPalm\",outcome=\"ok\"} 1\n",
           "kve_appserver_calls_total{method=\"GetHistPalm\",outcome=\"failed\"} 0\n",
           "kve_appserver_calls_total{method=\"unknown\",outcome=\"failed\"} 1\n",
           "kve_appserver_calls_total{method=\"GetTabelas\",outcome=\"ok\"} 0\n",
           "kve_appserver_call_duration_seconds_bucket{method=\"GetHistPalm\",le=\"0.025\"} 0\n",
           "kve_appserver_call_duration_seconds_bucket{method=\"GetHistPalm\",le=\"0.05\"} 1\n",
           "kve_appserver_call_duration_seconds_bucket{method=\"GetHistPalm\",le=\"30\"} 1\n",
           "kve_appserver_call_duration_seconds_bucket{method=\"GetHistPalm\",le=\"+Inf\"} 1\n",
           "kve_appserver_call_duration_seconds_sum{method=\"GetHistPalm\"} 0.03\n",
           "kve_appserver_call_duration_seconds_bucket{method=\"unknown\",le=\"30\"} 0\n",
           "kve_appserver_call_duration_seconds_bucket{method=\"unknown\",le=\"+Inf\"} 1\n",
           "kve_appserver_call_duration_seconds_count{method=\"unknown\"} 1\n",
           "kve_appserver_sent_bytes_total{method=\"GetHistPalm\"} 120\n",
           "kve_appserver_sent_bytes_total{method=\"unknown\"} 7\n",
           "\nkve_appserver_calls_in_flight 0\n",
           "kve_appserver_db_connections{state=\"in_use\"} 3\n",
           "kve_appserver_db_connections{state=\"idle\"} 5\n",
       })
    EXPECT_THAT(text, HasSubstr(line));
  EXPECT_THAT(text, Not(HasSubstr("Tabelas\\n")));
  EXPECT_THAT(text, Not(HasSubstr("Tabelas\n")));
}

TEST(MetricsTest, HealthIsOpenWhileMetricsNeedTheToken) {
  testing_server::ServerDb data("sqlite");
  AppServerOptions o;
  o.dbUrl = data.Url();
  o.token = "s3cret";
  AppServer server(o);
  server.Start();
  httplib::Client anonymous("127.0.0.1", server.Port());
  httplib::Client client("127.0.0.1", server.Port());
  client.set_bearer_token_auth("s3cret");

  auto health = anonymous.Get("/healthz");
  ASSERT_TRUE(health);
  EXPECT_EQ(health->status, 200);
  EXPECT_EQ(health->body, "ok\n");
  auto refused = anonymous.Get("/metrics");
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 401);

  auto call = client.Post("/Kve07000.rdmExpDados",
                          R"({"jsonrpc":"2.0","id":1,"method":"GetHistPalm","params":["0001","B01"]})",
                          "application/json");
  ASSERT_TRUE(call);
  ASSERT_EQ(call->status, 200);
  auto metrics = client.Get("/metrics");
  ASSERT_TRUE(metrics);
  EXPECT_EQ(metrics->status, 200);
  EXPECT_THAT(metrics->get_header_value("Content-Type"), HasSubstr("version=0.0.4"));
  EXPECT_THAT(metrics->body, HasSubstr("kve_appserver_calls_total{method=\"GetHistPalm\",outcome=\"ok\"} 1\n"));
  EXPECT_THAT(metrics->body, HasSubstr("kve_appserver_sent_bytes_total{method=\"GetHistPalm\"} " +
                                       std::to_string(call->body.size()) + "\n"));
  // The health probe's and the call's connection are back in the pool.
  EXPECT_THAT(metrics->body, HasSubstr("kve_appserver_db_connections{state=\"in_use\"} 0\n"));
  server.Stop();
}

}  // namespace
}  // namespace kve::server
