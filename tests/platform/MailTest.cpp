// The mail object against a real SMTP server on 127.0.0.1.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <ctime>

#include "platform/mail/CdoMessage.h"
#include "platform/mail/MailAddress.h"
#include "platform/mail/MimeMessage.h"
#include "tests/fixtures/SmtpServer.h"

namespace {

struct Mail {
    std::string server = kvtest::SmtpServer::Host();
    LONG port = 25;
    LONG timeout = 30;
    std::string from = "Kestrava Alerts <alerts@kv.test>";
    std::string to = "ops@kv.test";
    std::string subject = "Alert";
    std::string body = "Hello\n";
    bool update = true;
};

// Sends as the engine does; a raised error comes back through the pointer.
HRESULT Send(const Mail& mail, KvComError* error = nullptr) {
    CoInitialize(nullptr);
    HRESULT result = S_OK;
    try {
        CDO::IMessagePtr message;
        HRESULT hr = message.CreateInstance(CDO::CLSID_Message);
        if (FAILED(hr)) _com_issue_error(hr);
        ADODB::FieldsPtr fields = message->GetConfiguration()->GetFields();
        fields->GetItem(CDO::cdoSendUsingMethod)->PutValue(CDO::cdoSendUsingPort);
        fields->GetItem(CDO::cdoSMTPServerPort)->PutValue(mail.port);
        fields->GetItem(CDO::cdoSMTPConnectionTimeout)->PutValue(mail.timeout);
        fields->GetItem(CDO::cdoSMTPServer)->PutValue(mail.server);
        if (mail.update) fields->Update();
        message->PutSubject(mail.subject);
        message->PutTextBody(mail.body);
        message->PutFrom(mail.from);
        message->PutTo(mail.to);
        result = message->Send();
    } catch (const KvComError& e) {
        if (error != nullptr) *error = e;
        result = e.Error();
    }
    CoUninitialize();
    return result;
}

std::string Unix(std::string text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out.push_back(text[i]);
    return out;
}

TEST(Mail, OneMessageCarriesItsHeadersAndBodyIntact) {
    kvtest::SmtpServer server;
    Mail mail;
    mail.port = server.Port();
    mail.subject = "Änderungen auf dem Rechner SERVER1: drei geänderte, zwei hinzugefügte und ein entferntes Element";
    mail.body =
        "Header line\n"
        ".hidden starts with a dot\n"
        "..two dots\n"
        ".\n"
        "Größe: 100 Bytes\r\n"
        "old Mac line\rnext\n"
        "trailing blanks   \n" +
        std::string(300, 'x') + "é\n"
        "last line without an end";
    ASSERT_EQ(Send(mail), S_OK);

    std::vector<kvtest::SmtpMessage> messages = server.Messages();
    ASSERT_EQ(messages.size(), 1u);
    kvtest::SmtpMessage& m = messages[0];
    EXPECT_EQ(m.mailFrom, "alerts@kv.test");
    EXPECT_EQ(m.recipients, std::vector<std::string>{"ops@kv.test"});
    tm date{};
    const char* end = ::strptime(m.headers["date"].c_str(), "%a, %d %b %Y %H:%M:%S %z", &date);
    EXPECT_TRUE(end != nullptr && *end == '\0' && m.headers["date"].size() == 31) << m.headers["date"];
    const std::string& id = m.headers["message-id"];
    EXPECT_TRUE(id.size() > 10 && id.front() == '<' && id.find_first_of(" @") == id.size() - 9 &&
                id.substr(id.size() - 9) == "@kv.test>")
        << id;
    EXPECT_EQ(m.headers["from"], "Kestrava Alerts <alerts@kv.test>");
    EXPECT_EQ(m.headers["to"], "ops@kv.test");
    EXPECT_EQ(m.headers["subject"], mail.subject);
    EXPECT_EQ(m.headers["content-type"], "text/plain; charset=utf-8");
    EXPECT_EQ(m.headers["content-transfer-encoding"], "quoted-printable");
    EXPECT_EQ(Unix(m.body), "Header line\n.hidden starts with a dot\n..two dots\n.\nGröße: 100 Bytes\nold Mac line\n"
                            "next\ntrailing blanks   \n" + std::string(300, 'x') + "é\nlast line without an end\n");

    // On the wire: CR LF everywhere, no line over 78 characters in the
    // headers, and the subject encoded.
    EXPECT_EQ(m.raw.find_first_of('\n'), m.raw.find("\r\n") + 1);
    for (size_t i = 0; i < m.raw.size(); ++i) {
        if (m.raw[i] == '\n') {
            ASSERT_EQ(m.raw[i - 1], '\r') << "bare LF at " << i;
        }
        if (m.raw[i] == '\r') {
            ASSERT_EQ(m.raw[i + 1], '\n') << "bare CR at " << i;
        }
    }
    std::string head = m.raw.substr(0, m.raw.find("\r\n\r\n"));
    for (size_t start = 0, end; start < head.size(); start = end + 2) {
        end = head.find("\r\n", start);
        if (end == std::string::npos) end = head.size();
        EXPECT_LE(end - start, 78u) << head.substr(start, end - start);
    }
    EXPECT_NE(head.find("Subject: =?utf-8?B?"), std::string::npos);
}

TEST(Mail, PlainAsciiBodyGoesUnencodedAndDotsAreStuffedOnce) {
    kvtest::SmtpServer server;
    Mail mail;
    mail.port = server.Port();
    mail.body = "first\n.hidden\n.\n..\nend\n";
    ASSERT_EQ(Send(mail), S_OK);
    std::vector<kvtest::SmtpMessage> messages = server.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].headers["content-transfer-encoding"], "7bit");
    // The server removed the transport's dots; what is left is the body.
    std::string raw = messages[0].raw;
    EXPECT_EQ(raw.substr(raw.find("\r\n\r\n") + 4), "first\r\n.hidden\r\n.\r\n..\r\nend\r\n");
}

TEST(Mail, RecipientsAreSplitAsTheMailObjectReadsThem) {
    kvtest::SmtpServer server;
    Mail mail;
    mail.port = server.Port();
    mail.to = "a@x.test; b@y.test , ,c@z.test;";
    ASSERT_EQ(Send(mail), S_OK);
    mail.to = "\"Doe, Jane\" <jane@x.test>;Bob <bob@x.test>, Jürgen <j@x.test>";
    ASSERT_EQ(Send(mail), S_OK);

    std::vector<kvtest::SmtpMessage> messages = server.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].recipients, (std::vector<std::string>{"a@x.test", "b@y.test", "c@z.test"}));
    EXPECT_EQ(messages[0].headers["to"], "a@x.test, b@y.test, c@z.test");
    EXPECT_EQ(messages[1].recipients, (std::vector<std::string>{"jane@x.test", "bob@x.test", "j@x.test"}));
    EXPECT_EQ(messages[1].headers["to"], "\"Doe, Jane\" <jane@x.test>, Bob <bob@x.test>, Jürgen <j@x.test>");
}

TEST(Mail, ParsedAddressLists) {
    using kv::platform::ParseAddressList;
    EXPECT_TRUE(ParseAddressList(" ; , ").empty());
    auto list = ParseAddressList("a@x (office), <b@y>, \"Q \\\"x\\\" R\" <c@z>, Name <>");
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].address, "a@x");
    EXPECT_EQ(list[1].address, "b@y");
    EXPECT_EQ(list[1].display, "");
    EXPECT_EQ(list[2].address, "c@z");
    EXPECT_EQ(list[2].display, "Q \"x\" R");
}

TEST(Mail, ARefusedRecipientIsOneErrorWithTheServersReply) {
    kvtest::SmtpServer server({{"bad@x.test"}, {}});
    Mail mail;
    mail.port = server.Port();
    mail.to = "good@x.test; bad@x.test";
    KvComError error(S_OK);
    EXPECT_EQ(Send(mail, &error), CDO_E_RECIPIENTS_REJECTED);
    EXPECT_EQ(error.Source(), "CDO.Message.1");
    EXPECT_NE(error.Description().find("550 5.1.1 <bad@x.test>: Recipient address rejected"), std::string::npos)
        << error.Description();
    EXPECT_TRUE(server.Messages().empty());
}

TEST(Mail, ARefusedSenderIsOneErrorWithTheServersReply) {
    kvtest::SmtpServer server({{}, {"alerts@kv.test"}});
    Mail mail;
    mail.port = server.Port();
    KvComError error(S_OK);
    EXPECT_EQ(Send(mail, &error), CDO_E_SENDER_REJECTED);
    EXPECT_NE(error.Description().find("553 5.7.1 <alerts@kv.test>"), std::string::npos) << error.Description();
}

TEST(Mail, NoServerOnThePortIsAConnectionError) {
    Mail mail;
    mail.port = kvtest::UnusedPort();
    KvComError error(S_OK);
    EXPECT_EQ(Send(mail, &error), CDO_E_FAILED_TO_CONNECT);
    EXPECT_EQ(error.Source(), "CDO.Message.1");
    EXPECT_NE(error.Description().find("The transport failed to connect to the server."), std::string::npos);
    EXPECT_NE(error.Description().find("port " + std::to_string(mail.port)), std::string::npos)
        << error.Description();
}

TEST(Mail, AServerThatNeverAnswersFailsAfterTheTimeOut) {
    // Connections complete in the listen queue, but nobody ever greets.
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(fd, 4), 0);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    Mail mail;
    mail.port = ntohs(address.sin_port);
    mail.timeout = 1;
    KvComError error(S_OK);
    EXPECT_EQ(Send(mail, &error), CDO_E_FAILED_TO_CONNECT);
    EXPECT_FALSE(error.Description().empty());
    ::close(fd);
}

TEST(Mail, ConfigurationAndAddressesAreCheckedBeforeConnecting) {
    Mail mail;
    mail.port = kvtest::UnusedPort();
    KvComError error(S_OK);
    Mail notUpdated = mail;
    notUpdated.update = false;  // fields count only once updated
    EXPECT_EQ(Send(notUpdated, &error), CDO_E_INVALID_SEND_OPTION);
    Mail noServer = mail;
    noServer.server = "";
    EXPECT_EQ(Send(noServer), CDO_E_SMTP_SERVER_REQUIRED);
    Mail noRecipient = mail;
    noRecipient.to = " ; ";
    EXPECT_EQ(Send(noRecipient), CDO_E_RECIPIENT_MISSING);
    Mail noSender = mail;
    noSender.from = "";
    EXPECT_EQ(Send(noSender), CDO_E_FROM_MISSING);
    // An address must not be able to end the command and add one of its own.
    Mail injected = mail;
    injected.from = "x@kv.test\r\nRCPT TO:evil@kv.test";
    EXPECT_EQ(Send(injected, &error), CDO_E_SENDER_REJECTED);
    EXPECT_EQ(error.Source(), "CDO.Message.1");
    Mail badPort = mail;
    badPort.port = 70000;
    EXPECT_EQ(Send(badPort), CDO_E_FAILED_TO_CONNECT);
}

TEST(Mail, TheObjectNeedsComAndItsClass) {
    CDO::IMessagePtr message;
    EXPECT_EQ(message.CreateInstance(CDO::CLSID_Message), CO_E_NOTINITIALIZED);
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    CoUninitialize();
    EXPECT_EQ(message.CreateInstance("{00000000-0000-0000-0000-000000000000}"), REGDB_E_CLASSNOTREG);
    EXPECT_THROW(message->GetSubject(), KvComError);
    EXPECT_EQ(message.CreateInstance("{cd000001-8b95-11d1-82db-00c04fb1625d}"), S_OK);
    ADODB::FieldsPtr fields = message->GetConfiguration()->GetFields();
    fields->GetItem(CDO::cdoSMTPServerPort)->PutValue(25);
    fields->Update();
    fields->GetItem("HTTP://schemas.microsoft.com/cdo/configuration/SMTPSERVERPORT")->PutValue(26);
    fields->Resync();
    LONG port = 0;
    EXPECT_TRUE(fields->GetItem(CDO::cdoSMTPServerPort)->GetValue().AsLong(port));
    EXPECT_EQ(port, 25);
    EXPECT_EQ(fields->GetCount(), 1);
    CoUninitialize();
}

}  // namespace
