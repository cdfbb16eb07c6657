// Base64 decoding of certificate exports: round trips, the lenient padding and
// alphabet rules, and the error raised on a bad length.
#include "net/Enc64.h"
#include "base/RuntimeError.h"

#include <gtest/gtest.h>

namespace {

TEST(MyDecode, EveryByteValueSurvivesARoundTripThroughAnIndependentEncoder) {
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(static_cast<char>(i));
    // Each length from 0 to 256 exercises every padding case and every byte.
    for (qsizetype len = 0; len <= all.size(); ++len) {
        const QByteArray bytes = all.left(len);
        const QString encoded = QString::fromLatin1(bytes.toBase64());
        EXPECT_EQ(Enc64::MyDecode(encoded), bytes) << "length " << len;
    }
    // Every value in every position of a group: shifted copies.
    for (int shift = 1; shift < 3; ++shift) {
        const QByteArray shifted = all.mid(shift) + all.left(shift);
        EXPECT_EQ(Enc64::MyDecode(QString::fromLatin1(shifted.toBase64())), shifted);
    }
}

TEST(MyDecode, LineBreaksOfWrappedExportsAreIgnored) {
    const QByteArray bytes = QByteArray("certificate bytes \x00\xff\x80", 21);
    const QByteArray wrapped = bytes.toBase64(); // 28 characters
    const QString text = QString::fromLatin1(wrapped.left(10) + "\r\n" + wrapped.mid(10, 7) + "\n" +
                                             wrapped.mid(17) + "\r");
    EXPECT_EQ(Enc64::MyDecode(text), bytes);
}

struct LenientCase {
    const char* input;
    QByteArray expected;
};

TEST(MyDecode, LenientRulesDecodeAsTheServerToolsExpect) {
    const LenientCase cases[] = {
        {"", QByteArray()},
        // "=" in the middle still drops one byte from the end.
        {"QU=JRERF", QByteArray("\x41\x40\x09\x44\x44", 5)},
        // "==" anywhere drops two.
        {"QUJD==RE", QByteArray("\x41\x42\x43\x00", 4)},
        // Unknown characters (blank, "*", "-") count as value 0.
        {"QU J", QByteArray("\x41\x40\x09", 3)},
        {"****", QByteArray("\x00\x00\x00", 3)},
        {"-_-_", QByteArray("\x00\x00\x00", 3)},
        // Only "=": three zero bytes less the padding.
        {"====", QByteArray("\x00", 1)},
        {"AAA=", QByteArray("\x00\x00", 2)},
    };
    for (const LenientCase& c : cases)
        EXPECT_EQ(Enc64::MyDecode(QString::fromLatin1(c.input)), c.expected) << c.input;
}

TEST(MyDecode, CharactersAboveLatin1CountAsOutsideTheAlphabet) {
    // U+0100 and U+20AC have no single-byte code: value 0 like "A".
    const QString text = QStringLiteral("QU") + QChar(0x0100) + QChar(0x20AC);
    EXPECT_EQ(Enc64::MyDecode(text), Enc64::MyDecode(QStringLiteral("QUAA")));
}

TEST(MyDecode, LengthNotMultipleOfFourRaisesTheApplicationError) {
    for (const char* input : {"A", "QUJ", "QUJDR", "QUJD\r\nR", "QUJDRE=", "QUJDREVG="}) {
        try {
            Enc64::MyDecode(QString::fromLatin1(input));
            ADD_FAILURE() << "no error for " << input;
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), -2147221504) << input; // 0x80040000
            EXPECT_EQ(e.source(), QStringLiteral("MyDecode"));
            EXPECT_EQ(e.description(), QStringLiteral("Input string is not valid Base64."));
        }
    }
}

} // namespace
