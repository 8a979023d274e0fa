#include "updater/update/signed_list.h"

#include <gtest/gtest.h>

namespace {

using core::crypto::GenerateP256;
using core::crypto::KeyPair;
using core::crypto::SignP256;

const std::string kHashA(64, 'a');
const std::string kHashB = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";

std::string Signed(const KeyPair& key, const std::string& body) {
    return body + update::FormatSignatureLine(key.point, SignP256(key, body));
}

TEST(SignedList, WrittenListsReadBack) {
    const KeyPair key = GenerateP256();
    const std::string body = update::FormatListBody(20261209153000, {{120, kHashA}, {2147483647, kHashB}});
    EXPECT_EQ(body.substr(0, 44), "2\r\nfirmado-vandrel 1\r\nserie 20261209153000\r\n");
    const auto list = update::ParseSignedList(Signed(key, body));
    ASSERT_TRUE(list);
    EXPECT_EQ(list->count, 2);
    EXPECT_EQ(list->serie, 20261209153000);
    ASSERT_EQ(list->patches.size(), 2u);
    EXPECT_EQ(list->patches[1].size, 2147483647);
    EXPECT_EQ(list->patches[1].sha256, kHashB);
    EXPECT_EQ(list->signedPart, body);
    EXPECT_TRUE(update::SignedByAny(*list, {GenerateP256().point, key.point}));
    EXPECT_FALSE(update::SignedByAny(*list, {GenerateP256().point}));
    EXPECT_FALSE(update::SignedByAny(*list, {}));

    const auto empty = update::ParseSignedList(Signed(key, update::FormatListBody(1, {})));
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->count, 0);

    const std::string key64 = update::PublicKeyText(key.point);
    EXPECT_EQ(update::ParsePublicKey(key64), key.point);
    EXPECT_EQ(update::KeyId(key.point).size(), 16u);
}

TEST(SignedList, EveryDeviationIsRefused) {
    const KeyPair key = GenerateP256();
    const std::string sig = update::FormatSignatureLine(key.point, SignP256(key, "x"));
    const std::string head = "1\r\nfirmado-vandrel 1\r\nserie 5\r\n";
    const std::string one = "parche 1 10 " + kHashA + "\r\n";
    const std::string cases[] = {
        "",
        head + one,                                                             // no signature
        head + one + sig + "\r\n",                                              // bytes after the last signature
        head + one + sig + "x",                                                 // ... without a line end
        "2\r\nfirmado-vandrel 1\r\nserie 5\r\n" + one + sig,                    // count above the lines
        "0\r\nfirmado-vandrel 1\r\nserie 5\r\n" + one + sig,                    // count below the lines
        "01\r\nfirmado-vandrel 1\r\nserie 5\r\n" + one + sig,                   // leading zero
        "1000\r\nfirmado-vandrel 1\r\nserie 5\r\n" + one + sig,                 // four digits
        " 1\r\nfirmado-vandrel 1\r\nserie 5\r\n" + one + sig,                   // blank before the count
        "1\r\nfirmado-vandrel 2\r\nserie 5\r\n" + one + sig,                    // another format
        "1\r\nfirmado-vandrel 1\r\nserie 0\r\n" + one + sig,                    // serie below 1
        "1\r\nfirmado-vandrel 1\r\nserie -5\r\n" + one + sig,                   // signed serie
        "1\r\nfirmado-vandrel 1\r\nserie 1234567890123456789\r\n" + one + sig,  // 19 digits
        "1\n" + std::string("firmado-vandrel 1\r\nserie 5\r\n") + one + sig,    // bare LF
        head + "parche 1 10 " + kHashA + "\n" + sig,                            // bare LF
        head + "parche 1 10 " + kHashA + "\r\r\n" + sig,                        // stray CR
        head + "parche 2 10 " + kHashA + "\r\n" + sig,                          // wrong number
        head + "parche 1 2147483648 " + kHashA + "\r\n" + sig,                  // size above 31 bits
        head + "parche 1 -1 " + kHashA + "\r\n" + sig,                          // negative size
        head + "parche 1 10 " + std::string(64, 'A') + "\r\n" + sig,            // uppercase hash
        head + "parche 1 10 " + std::string(63, 'a') + "\r\n" + sig,            // short hash
        head + "parche 1  10 " + kHashA + "\r\n" + sig,                         // double blank
        head + "parche 1 10 " + kHashA + " \r\n" + sig,                         // trailing blank
        head + one + "parche 2 10 " + kHashA + "\r\n" + sig,                    // more lines than the count
        head + one + "firma " + std::string(16, 'a') + " AAAA\r\n",             // short signature
        head + one + "firma " + std::string(15, 'a') + sig.substr(22),          // short key id
        head + one + sig + one,                                                 // a line after a signature
    };
    for (const std::string& c : cases) EXPECT_FALSE(update::ParseSignedList(c)) << c;
    EXPECT_TRUE(update::ParseSignedList(head + one + sig + sig));  // several signatures are fine
    EXPECT_FALSE(update::ParsePublicKey(update::PublicKeyText(key.point).substr(4)));
}

}  // namespace
