// Fuzz target for the readers of the server's history answers: the
// transmission list, the receipt, the version header and the status rule.
// Any text gives a result or a RuntimeError, never a crash. The list and
// receipt readers also read each input below enough levels of nesting that
// any element it opens reaches the depth limit, so the depth refusal sees
// every input too.
#include "base/RuntimeError.h"
#include "history/Receipt.h"
#include "history/TransmissionList.h"
#include "history/VersionAnswer.h"
#include "net/SafeXml.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const History::ListAnswer list = History::readTransmissionList(text);
    for (const QStringList& row : list.rows)
        if (row.size() != History::kListColumns)
            __builtin_trap();
    const History::ReceiptDocument receipt = History::readReceipt(text);
    for (const History::ReceiptItem& item : receipt.items)
        if (item.detalhe)
            static_cast<void>(History::itemNodeText(item.name, *item.detalhe));
    static const QString kPrefix = QStringLiteral("<a>").repeated(SafeXml::kMaxDepth - 1);
    static const QString kSuffix = QStringLiteral("</a>").repeated(SafeXml::kMaxDepth - 1);
    const QString deep = kPrefix + text + kSuffix;
    static_cast<void>(History::readTransmissionList(deep));
    static_cast<void>(History::readReceipt(deep));
    try {
        static_cast<void>(History::readVersionFields(text));
    } catch (const RuntimeError&) {
        // not a date at characters 32 to 50: an expected outcome
    }
    try {
        static_cast<void>(History::detailActionForStatus(text));
    } catch (const RuntimeError&) {
        // not a number: an expected outcome
    }
    return 0;
}
