// The scripted message boxes fail a test that shows a box nobody expected.
#include "FakePrompter.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

namespace {

Message yesNo(const char* text) {
    return Message{QString::fromUtf8(text), QStringLiteral("VAV-UVOD - RJ"), MsgIcon::Warning,
                   MsgButtons::YesNo};
}

Message ok(const char* text) {
    return Message{QString::fromUtf8(text), QString(), MsgIcon::None, MsgButtons::Ok};
}

} // namespace

TEST(FakePrompter, RecordsMessagesAndAnswersFromTheScript) {
    FakePrompter prompter;
    prompter.answerNext(MsgAnswer::Yes, QStringLiteral("Deseja excluir?"));
    prompter.answerNext(MsgAnswer::No);
    EXPECT_EQ(prompter.show(ok("Contador gravado.")), MsgAnswer::Ok);
    EXPECT_EQ(prompter.show(yesNo("Deseja excluir?")), MsgAnswer::Yes);
    EXPECT_EQ(prompter.show(yesNo("Confirma?")), MsgAnswer::No);
    EXPECT_EQ(prompter.pendingAnswers(), 0u);
    EXPECT_EQ(prompter.texts(), (QStringList{"Contador gravado.", "Deseja excluir?", "Confirma?"}));
    EXPECT_EQ(prompter.messages()[1], yesNo("Deseja excluir?"));
}

TEST(FakePrompter, UnscriptedYesNoBoxFailsTheTestAndAnswersNo) {
    FakePrompter prompter;
    MsgAnswer answer = MsgAnswer::Yes;
    EXPECT_NONFATAL_FAILURE(answer = prompter.show(yesNo("Ação não prevista")),
                            "unexpected Yes/No box");
    EXPECT_EQ(answer, MsgAnswer::No);
}

TEST(FakePrompter, YesNoBoxWithAnotherTextFails) {
    FakePrompter prompter;
    prompter.answerNext(MsgAnswer::Yes, QStringLiteral("Deseja excluir?"));
    EXPECT_NONFATAL_FAILURE(prompter.show(yesNo("Deseja sair?")), "another text");
}

TEST(FakePrompter, UnusedScriptedAnswerFailsWhenThePrompterGoes) {
    EXPECT_NONFATAL_FAILURE(
        {
            FakePrompter prompter;
            prompter.answerNext(MsgAnswer::Yes);
        },
        "never asked for");
}

TEST(FakePrompter, ExpectNoMessagesFailsWithTheMessagesShown) {
    FakePrompter prompter;
    prompter.expectNoMessages();
    prompter.show(ok("O Servidor está indisponível, tente novamente mais tarde."));
    EXPECT_NONFATAL_FAILURE(prompter.expectNoMessages(), "indisponível");
    prompter.clearMessages();
    prompter.expectNoMessages();
}
