// What the batch window proposes before sending: the taxpayer of each file
// from the IE in its names, and the months of each declaration from its
// list answer (built by the simulator's own answer writer).
#include "batch/FileMatching.h"
#include "batch/ReferenceProposal.h"

#include "simulator/Answers.h"

#include <gtest/gtest.h>

namespace {

TEST(FileMatching, ProposesOnlyOneRegisteredValidIe) {
    const QSet<QString> registered{QStringLiteral("86123452"), QStringLiteral("87206416")};
    struct Case {
        const char* path;
        const char* base; // the folder the user chose
        const char* ie;   // proposed, or "" with a reason
        const char* reasonHas;
    };
    const Case cases[] = {
        {"/b/86123452.zip", "/b", "86123452", ""},
        {"/b/BACKUP_86.123.45-2_jan.ZIP", "/b", "86123452", ""},
        {"/b/86123452-01.zip", "/b", "86123452", ""},
        {"/b/2026-11-30/86123452.zip", "/b", "86123452", ""},
        {"/b/87206416/2026/backup.zip", "/b", "87206416", ""},
        // The same IE in file and folder is one IE.
        {"/b/86123452/86123452-fev.zip", "/b", "86123452", ""},
        // Folders above the chosen one say nothing about the file.
        {"/86123452/b/backup.zip", "/86123452/b", "", "Nenhuma"},
        {"/86123452/b/backup.zip", "", "", "Nenhuma"},
        // A check digit that fails, a longer number (a CNPJ), too few digits.
        {"/b/86123453.zip", "/b", "", "Nenhuma"},
        {"/b/12345678000195.pdf", "/b", "", "Nenhuma"},
        {"/b/8612345.zip", "/b", "", "Nenhuma"},
        {"/b/86123452/87206416.zip", "/b", "", "Mais de uma"},
        {"/b/78045302.pdf", "/b", "", "78045302 não cadastrada"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const FileMatching::Match m =
            FileMatching::match(QString::fromUtf8(c.path), QString::fromUtf8(c.base), registered);
        EXPECT_EQ(m.ie, QString::fromUtf8(c.ie));
        EXPECT_EQ(m.reason.isEmpty(), m.ie.size() == 8) << m.reason.toStdString();
        EXPECT_TRUE(m.reason.contains(QString::fromUtf8(c.reasonHas))) << m.reason.toStdString();
    }
}

valdoria::Transmission sent(const std::string& ref, const std::string& status = "3") {
    valdoria::Transmission t;
    t.referencia = ref;
    t.protocolo = "P1";
    t.status = status;
    return t;
}

TEST(ReferenceProposal, MonthsOfTheWorkingYearsNotYetProcessed) {
    const ContribuinteRow taxpayer{
        QStringLiteral("86123452"), QStringLiteral("A"), {}, {}, QStringLiteral("K"), {}, false};
    const auto answered = [&](const std::vector<valdoria::Transmission>& list) {
        return Overview::withAnswer(
            Overview::initialRow(taxpayer, std::nullopt),
            QString::fromStdString(valdoria::soapResponse(
                "Transferencia.ver2",
                valdoria::listXml("2014-03-10 09:00:00", "2013/2014", "1.16.01", list))));
    };
    struct Case {
        const char* what;
        Overview::Row row;
        QString references;
        QString noteHas;
    };
    const Case cases[] = {
        {"nothing sent: every month of both years before March 2014",
         answered({}),
         QStringLiteral("1_2013,2_2013,3_2013,4_2013,5_2013,6_2013,7_2013,8_2013,9_2013,10_2013,"
                        "11_2013,12_2013,1_2014,2_2014"),
         {}},
        {"processed months left out",
         answered({sent("01/2013, 02/2013"), sent("03/2013")}),
         QStringLiteral("4_2013,5_2013,6_2013,7_2013,8_2013,9_2013,10_2013,11_2013,12_2013,1_"
                        "2014,2_2014"),
         {}},
        {"a pending sending hides its months",
         answered({sent("Verificando", "1")}),
         {},
         QStringLiteral("verificação")},
        {"no answer yet", Overview::initialRow(taxpayer, std::nullopt), {}, Overview::kWaiting},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ReferenceProposal::Proposal p = ReferenceProposal::propose(c.row, QDate(2014, 3, 15));
        EXPECT_EQ(p.references, c.references);
        EXPECT_TRUE(p.note.contains(c.noteHas)) << p.note.toStdString();
    }
}

} // namespace
