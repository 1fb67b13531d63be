// The alert e-mail's send routine against a real SMTP server on 127.0.0.1.
#include <gtest/gtest.h>

#include "engine/alert/MailNotifier.h"
#include "tests/fixtures/EngineLog.h"
#include "tests/fixtures/SmtpServer.h"

namespace {

MailRequest Request(int port) {
    MailRequest request;
    request.server = kvtest::SmtpServer::Host();
    request.from = "tessellon@localhost";
    request.to = "a@x.test; b@x.test";
    request.subject = "Alert (computer HOST)";
    request.body = "Line one\n.dot line\n";
    request.port = port;
    return request;
}

// The log's lines from the first one holding the text, in order.
std::vector<std::string> LinesAfter(const std::string& text, const std::string& first) {
    std::vector<std::string> lines;
    size_t at = text.find(first);
    while (at != std::string::npos && at < text.size()) {
        size_t end = text.find("\r\n", at);
        if (end == std::string::npos) break;
        size_t start = text.rfind('\n', at);
        start = start == std::string::npos ? 0 : start + 1;
        std::string line = text.substr(start, end - start);
        size_t cut = 0;
        for (int blanks = 0; blanks < 5 && cut != std::string::npos; ++blanks) {
            cut = line.find(' ', cut);
            if (cut != std::string::npos) ++cut;
        }
        lines.push_back(cut == std::string::npos ? line : line.substr(cut));
        at = end + 2;
    }
    return lines;
}

TEST(TestEmailThread, TracesEveryStepInOrderAndDeliversToEachRecipient) {
    kvtest::TestRoot root;
    kvtest::EngineLog log(root, 7);
    kvtest::SmtpServer server;
    MailRequest request = Request(server.Port());
    ASSERT_EQ(TestEmailThread(request), S_OK);

    auto messages = server.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].recipients, (std::vector<std::string>{"a@x.test", "b@x.test"}));
    EXPECT_EQ(messages[0].mailFrom, "tessellon@localhost");
    EXPECT_EQ(messages[0].headers.at("subject"), "Alert (computer HOST)");

    const std::string port = std::to_string(server.Port());
    EXPECT_EQ(LinesAfter(log.Text(), "CVerifyMailServer.TestEmailThread"),
              (std::vector<std::string>{
                  "CVerifyMailServer.TestEmailThread  Initialization of the IMessagePtr",
                  "Setting the port on which server is listening",
                  "Setting the Connection time-out.",
                  "Setting the SMTP Server",
                  "Update the Fields Collection of the Message object.",
                  "Setting subject: Alert (computer HOST)",
                  "Setting mail body...",
                  "Setting from: tessellon@localhost",
                  "Setting recipient(s): a@x.test; b@x.test",
                  "Trying to send email from server: '127.0.0.1' on port " + port + "...",
                  "The test email was successfully sent.",
              }));
}

bool HoldsErrorLine(const std::string& text, const std::string& descriptionPart) {
    const std::string head = "An error occurred while sending the email notification(source: CDO.Message.1, description: ";
    size_t at = text.find(head);
    if (at == std::string::npos) return false;
    size_t end = text.find(")\r\n", at);
    return end != std::string::npos && text.substr(at, end - at).find(descriptionPart) != std::string::npos;
}

TEST(TestEmailThread, ARefusedRecipientFailsWithTheServersReply) {
    kvtest::TestRoot root;
    kvtest::EngineLog log(root, 7);
    kvtest::SmtpServerOptions options;
    options.rejectRecipients = {"b@x.test"};
    kvtest::SmtpServer server(options);
    EXPECT_EQ(TestEmailThread(Request(server.Port())), E_FAIL);
    EXPECT_TRUE(HoldsErrorLine(log.Text(), "550")) << log.Text();
    EXPECT_FALSE(log.Holds("The test email was successfully sent."));
    EXPECT_TRUE(server.Messages().empty());
}

TEST(TestEmailThread, NoServerOnThePortFails) {
    kvtest::TestRoot root;
    kvtest::EngineLog log(root, 7);
    EXPECT_EQ(TestEmailThread(Request(kvtest::UnusedPort())), E_FAIL);
    EXPECT_TRUE(HoldsErrorLine(log.Text(), "")) << log.Text();
    EXPECT_FALSE(log.Holds("The test email was successfully sent."));
}

}  // namespace
