#include "web/CWebConfig.h"
#include "web/CWebFileManager.h"

#include <gtest/gtest.h>

#include <openssl/evp.h>

namespace {

std::string Basic(std::string_view credentials) {
    std::string out(4 * ((credentials.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                  reinterpret_cast<const unsigned char*>(credentials.data()),
                                  static_cast<int>(credentials.size()));
    out.resize(static_cast<std::size_t>(n));
    return "Basic " + out;
}

} // namespace

TEST(WebFileManager, FilesByAnyCaseAndReplacement) {
    CIString text;
    ASSERT_TRUE(CWebFileManager::GetFile("TRANS.GIF", text));
    EXPECT_TRUE(text.StartsWith("GIF89a"));
    EXPECT_FALSE(CWebFileManager::GetFile("nothere.html", text));
    EXPECT_EQ(text, "file not found in map:nothere.html");

    // A replacement that holds its own placeholder is not replaced again.
    CIString page("a $FOO$ b $foo$ c");
    CWebFileManager::ReplaceAll(page, "$foo$", "[$foo$]");
    EXPECT_EQ(page.View(), "a [$foo$] b [$foo$] c");
}

TEST(WebConfig, CredentialsFromTheAuthorizationField) {
    const struct {
        std::string header;
        const char* name;
        const char* password;
    } cases[] = {
        {Basic("admin:secret"), "admin", "secret"},
        {Basic("admin:pass:with:colons"), "admin", "pass:with:colons"},
        {Basic("admin:"), "admin", ""},
        {Basic("nocolon"), "", ""},
        {Basic(":onlypassword"), "", ""},
        {"Basic", "", ""},
        {"Basic !!!!", "", ""},
    };
    for (const auto& c : cases) {
        std::string name = "stale";
        std::string password = "stale";
        CWebConfig::ParseBasicCredentials(c.header, name, password);
        EXPECT_EQ(name, c.name) << c.header;
        EXPECT_EQ(password, c.password) << c.header;
    }
    // Stored in the settings files: old files must keep verifying.
    EXPECT_EQ(CWebConfig::PasswordDigest("tarnivelo"), "9wp6vBcm7dGCLAVTC24EOA==");
}

TEST(WebConfig, PiecesThatGoIntoThePages) {
    EXPECT_EQ(CWebConfig::MakeCheckbox("URLFilter.Images", "1"),
              "<input type=\"hidden\" name=\"URLFilter.Images\" value=\"0\"><input "
              "type=\"checkbox\" name=\"URLFilter.Images\" value=\"1\" checked>");

    for (const char* good : {"", "lab", "alice.b", "team-2_x", "a@b"})
        EXPECT_TRUE(CWebConfig::IsAcceptableUser(good)) << good;
    for (const char* bad : {"..", ".", "../etc", "a/b", ".hidden", "a b", "<x>", "a\\b", "a%2f"})
        EXPECT_FALSE(CWebConfig::IsAcceptableUser(bad)) << bad;
    EXPECT_FALSE(CWebConfig::IsAcceptableUser(std::string_view("a\0b", 3)));

    const std::pair<const char*, const char*> blocks[] = {
        {"a<cvplatform squid>b</cvplatform>c", "ac"},
        {"a<CVPLATFORM nothomeedition>b</cvplatform>c", "ac"},
        {"a<cvplatform standalone>b</cvplatform>c", "abc"},
        {"a<cvplatform standalone nothomeedition>b</cvplatform>c", "ac"},
        {"<cvplatform x>1</cvplatform>-<cvplatform standalone>2</cvplatform>", "-2"},
        {"a<cvplatform squid>never closed", "a<cvplatform squid>never closed"},
    };
    for (const auto& [in, out] : blocks) {
        CIString page(in);
        CWebConfig::RemovePlatformBlocks(page);
        EXPECT_EQ(page.View(), out) << in;
    }
}
