#include "platform/maker/config.h"

#include <gtest/gtest.h>

#include "platform/common/error.h"

namespace kve::maker {
namespace {

std::string ErrorOf(const std::string& toml) {
  try {
    ParseConfig(toml, "kve.toml", "conf");
  } catch (const Error& e) {
    return e.what();
  }
  return "no error";
}

TEST(HostConfig, DefaultsDeriveEveryPathFromTheDataFolder) {
  HostConfig c = DefaultConfig("data");
  EXPECT_EQ(c.database_url, "sqlite:data/kve.db");
  EXPECT_EQ(c.registry_file, "data/registry.reg");
  EXPECT_EQ(c.hotsync_root, "data/hotsync");
  EXPECT_EQ(c.shares_dir, "data/shares");
  EXPECT_EQ(c.drives.at('C'), "data/drive_c");
  EXPECT_EQ(c.person_masks.at("F"), "999.999.999-99;0;_");
  EXPECT_EQ(c.person_masks.at("J"), "99.999.999/9999-99;0;_");
  EXPECT_TRUE(c.site_key.empty());
}

TEST(HostConfig, FileValuesReplaceDefaultsAndRelativePathsFollowTheFile) {
  HostConfig c = ParseConfig(R"(
data_dir = "var"
[host]
branch = "0002"
operator = "ANA"
language = "ESP"
[masks]
product = "9.99.999;0;_"
product_levels = 3
[masks.person]
E = "AAA-999;0;_"
[database]
url = "sqlite:db/k.db"
[server]
host = "10.0.0.5"
port = 9000
token = "t0k"
[paths]
hotsync_root = "/srv/hotsync"
[paths.drives]
d = "dr"
[security]
site_key = "secret"
[locale]
decimal_separator = "."
thousand_separator = ","
short_date_format = "mm/dd/yyyy"
)",
                             "kve.toml", "conf");
  EXPECT_EQ(c.data_dir, "conf/var");
  EXPECT_EQ(c.registry_file, "conf/var/registry.reg");
  EXPECT_EQ(c.branch, "0002");
  EXPECT_EQ(c.operator_code, "ANA");
  EXPECT_EQ(c.language, "ESP");
  EXPECT_EQ(c.product_mask, "9.99.999;0;_");
  EXPECT_EQ(c.product_levels, 3);
  EXPECT_EQ(c.person_masks.at("E"), "AAA-999;0;_");
  EXPECT_EQ(c.person_masks.count("F"), 1u);  // defaults kept beside additions
  EXPECT_EQ(c.database_url, "sqlite:conf/db/k.db");
  EXPECT_EQ(c.server_host, "10.0.0.5");
  EXPECT_EQ(c.server_port, 9000);
  EXPECT_EQ(c.server_token, "t0k");
  EXPECT_EQ(c.hotsync_root, "/srv/hotsync");
  ASSERT_EQ(c.drives.size(), 1u);  // a drive table replaces the default mapping
  EXPECT_EQ(c.drives.at('D'), "conf/dr");
  EXPECT_EQ(c.site_key, "secret");
  EXPECT_EQ(c.decimal_separator, '.');
  EXPECT_EQ(c.thousand_separator, ',');
  EXPECT_EQ(c.short_date_format, "mm/dd/yyyy");
}

TEST(HostConfig, MistakesAreErrorsNamingFileAndKey) {
  EXPECT_EQ(ErrorOf("[server]\nprot = 1\n"), "kve.toml: server.prot: unknown key");
  EXPECT_EQ(ErrorOf("[server]\nport = \"80\"\n"), "kve.toml: server.port: expected an integer");
  EXPECT_EQ(ErrorOf("[server]\nport = 70000\n"), "kve.toml: server.port: port out of range: 70000");
  EXPECT_EQ(ErrorOf("colour = 1\n"), "kve.toml: colour: unknown key");
  EXPECT_EQ(ErrorOf("host = 1\n"), "kve.toml: host: expected a table");
  EXPECT_EQ(ErrorOf("[locale]\ndecimal_separator = \",,\"\n"),
            "kve.toml: locale.decimal_separator: expected exactly one character, got \",,\"");
  EXPECT_EQ(ErrorOf("[paths.drives]\nCD = \"x\"\n"), "kve.toml: paths.drives.CD: a drive is one letter");
  EXPECT_EQ(ParseConfig("[paths]\nhotsync_root = \"smb://PC/Palm\"\n", "kve.toml", "conf").hotsync_root, "smb://PC/Palm");
  for (const char* root : {"smb://PC", "smb://PC/", "smb:///Palm"})
    EXPECT_EQ(ErrorOf(std::string("[paths]\nhotsync_root = \"") + root + "\"\n"),
              "kve.toml: paths.hotsync_root: expected smb://HOST/SHARE");
  EXPECT_EQ(ErrorOf("[database]\nurl = \"mysql://x\"\n").rfind("kve.toml: database.url: ", 0), 0u);
  EXPECT_EQ(ErrorOf("[host\n").rfind("kve.toml: line 1: ", 0), 0u);
}

TEST(HostConfig, AnswerLimitOfTheServer) {
  EXPECT_EQ(ParseConfig("[server]\nmax_answer_mb = 64\n", "kve.toml", "conf").server_max_answer_mb, 64);
  EXPECT_EQ(DefaultConfig("d").server_max_answer_mb, 2048);
  EXPECT_EQ(ErrorOf("[server]\nmax_answer_mb = 0\n"), "kve.toml: server.max_answer_mb: expected 1 to 1048576 MB, got 0");
}

TEST(HostConfig, TlsToTheServer) {
  const std::string pin(64, 'a');
  HostConfig c = ParseConfig("[server]\ntls = true\nca_file = \"ca.pem\"\npin_sha256 = \"" + pin + "\"\n",
                             "kve.toml", "conf");
  EXPECT_TRUE(c.server_tls);
  EXPECT_EQ(c.server_ca_file, "conf/ca.pem");
  EXPECT_EQ(c.server_pin_sha256, pin);
  EXPECT_FALSE(DefaultConfig("d").server_tls);
  EXPECT_EQ(ParseConfig("[server]\npin_sha256 = \"\"\n", "kve.toml", "conf").server_pin_sha256, "");  // no pin
  EXPECT_EQ(ErrorOf("[server]\ntls = \"yes\"\n"), "kve.toml: server.tls: expected true or false");
  EXPECT_EQ(ErrorOf("[server]\npin_sha256 = \"ab:cd\"\n"),
            "kve.toml: server.pin_sha256: expected the certificate's SHA-256 as 64 hexadecimal digits (':' between bytes allowed)");
}

TEST(HostConfig, SharesOverSmbWithTheirOwnSettings) {
  HostConfig c = ParseConfig(R"(
[paths]
shares = "smb://"
[smb]
credentials_file = "cred"
port = 1445
timeout_s = 3
[smb.hosts]
"NOTE-KITCHEN-01" = "127.0.0.1"
)",
                             "kve.toml", "conf");
  EXPECT_TRUE(c.shares_over_smb);
  EXPECT_EQ(c.smb_credentials_file, "conf/cred");
  EXPECT_EQ(c.smb_port, 1445);
  EXPECT_EQ(c.smb_timeout_s, 3);
  EXPECT_EQ(c.smb_hosts.at("NOTE-KITCHEN-01"), "127.0.0.1");
  EXPECT_FALSE(DefaultConfig("d").shares_over_smb);
  EXPECT_EQ(DefaultConfig("d").smb_port, 445);
  EXPECT_EQ(DefaultConfig("d").smb_timeout_s, 10);
  EXPECT_EQ(ErrorOf("[paths]\nshares = \"smb://HOST/x\"\n").rfind("kve.toml: paths.shares: expected a folder or", 0), 0u);
  EXPECT_EQ(ErrorOf("[smb]\ntimeout_s = 0\n"), "kve.toml: smb.timeout_s: expected 1 to 600 seconds, got 0");
  EXPECT_EQ(ErrorOf("[smb.hosts]\nA = 1\n"), "kve.toml: smb.hosts.A: expected a string");
  EXPECT_EQ(ErrorOf("[smb]\nuser = \"x\"\n"), "kve.toml: smb.user: unknown key");
}

TEST(HostConfig, MissingFileIsAnIoErrorNamingIt) {
  EXPECT_THROW(LoadConfig("no-such-dir/kve.toml"), IoError);
}

TEST(Services, ScopesStackAndRestoreThePreviousServices) {
  ASSERT_FALSE(HasServices());
  EXPECT_THROW(CurrentServices(), Error);
  HostConfig a = DefaultConfig("a");
  a.branch = "A";
  Services sa(a);
  {
    ServicesScope outer(sa);
    HostConfig b = DefaultConfig("b");
    b.branch = "B";
    Services sb(b);
    {
      ServicesScope inner(sb);
      EXPECT_EQ(CurrentServices().Config().branch, "B");
    }
    EXPECT_EQ(CurrentServices().Config().branch, "A");
  }
  EXPECT_FALSE(HasServices());
}

}  // namespace
}  // namespace kve::maker
