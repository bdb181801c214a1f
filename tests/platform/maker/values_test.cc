#include <gtest/gtest.h>

#include "platform/common/error.h"
#include "platform/maker/config.h"
#include "platform/maker/host_values.h"
#include "platform/maker/language.h"
#include "platform/maker/password.h"
#include "platform/maker/person_mask.h"
#include "platform/maker/picture.h"

namespace kve {
namespace {

class MakerValues : public ::testing::Test {
 protected:
  static maker::HostConfig Config() {
    maker::HostConfig c = maker::DefaultConfig("data");
    c.branch = "0007";
    c.operator_code = "MARIA";
    c.server_host = "kitchen-srv";
    c.server_port = 9100;
    c.language = "ESP";
    c.site_key = "Jefe";
    return c;
  }
  maker::Services services_{Config()};
  maker::ServicesScope scope_{services_};
};

TEST_F(MakerValues, HostValuesComeFromTheInstalledConfiguration) {
  EXPECT_EQ(Corvane::FiliProc(), "0007");
  EXPECT_EQ(Corvane::Operador(), "MARIA");
  EXPECT_EQ(Corvane::WebURL(), "kitchen-srv");
  EXPECT_EQ(Corvane::WebPort(), 9100);
  EXPECT_EQ(Trad_utl::RetornaIdioma(), "ESP");
}

TEST_F(MakerValues, ProductPictureLevelsAreCountedFromTheMaskUnlessConfigured) {
  EXPECT_EQ(Corvane::DBPict(0), "99.99.999.9999;0;_");
  EXPECT_EQ(Corvane::DBPictObj(0).GetTtNiveis(), 4);
  maker::HostConfig c = Config();
  c.product_mask = "9.99;0;_";
  c.product_levels = 5;
  maker::Services other(c);
  maker::ServicesScope scope(other);
  EXPECT_EQ(Corvane::DBPictObj(0).GetTtNiveis(), 5);
  EXPECT_THROW(Corvane::DBPict(3), ValueError);
}

TEST_F(MakerValues, PersonMasksByTypeWithTheEmptyMaskForOthers) {
  EXPECT_EQ(Consiste::PictPess("F"), "999.999.999-99;0;_");
  EXPECT_EQ(Consiste::PictPess("j"), "99.999.999/9999-99;0;_");
  EXPECT_EQ(Consiste::PictPess("X"), "");
}

TEST(PasswordTransform, IsKeyedHmacSha256CutTo20Base64UrlCharacters) {
  // RFC 4231 test case 2: the digest begins 5bdcc146bf60754e6a042426089575
  EXPECT_EQ(maker::TransformPassword("Jefe", "what do ya want for nothing?"), "W9zBRr9gdU5qBCQmCJV1");
  const std::string a = maker::TransformPassword("site-A", "1234");
  EXPECT_EQ(a.size(), 20u);
  EXPECT_EQ(a, maker::TransformPassword("site-A", "1234"));
  EXPECT_NE(a, maker::TransformPassword("site-B", "1234"));
  EXPECT_NE(a, maker::TransformPassword("site-A", "1234 "));
  EXPECT_EQ(maker::TransformPassword("k", "").size(), 20u);
}

TEST(PasswordTransform, RefusesToRunWithoutASiteKey) {
  EXPECT_THROW(maker::TransformPassword("", "1234"), ValueError);
}

TEST_F(MakerValues, CriptoPlusUsesTheConfiguredSiteKey) {
  EXPECT_EQ(Criptografa::CriptoPlus("what do ya want for nothing?"), "W9zBRr9gdU5qBCQmCJV1");
}

}  // namespace
}  // namespace kve
