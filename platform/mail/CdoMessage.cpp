#include "platform/mail/CdoMessage.h"

#include <curl/curl.h>
#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/mail/MailAddress.h"
#include "platform/mail/MimeMessage.h"
#include "platform/system/SystemInfo.h"

namespace ADODB {

bool FieldValue::AsLong(LONG& value) const {
    if (const LONG* number = std::get_if<LONG>(&m_value)) {
        value = *number;
        return true;
    }
    if (const std::string* text = std::get_if<std::string>(&m_value)) {
        errno = 0;
        char* end = nullptr;
        long parsed = std::strtol(text->c_str(), &end, 10);
        if (text->empty() || *end != '\0' || errno != 0 || parsed < INT32_MIN || parsed > INT32_MAX) return false;
        value = static_cast<LONG>(parsed);
        return true;
    }
    return false;
}

std::string FieldValue::AsText() const {
    if (const LONG* number = std::get_if<LONG>(&m_value)) return std::to_string(*number);
    if (const std::string* text = std::get_if<std::string>(&m_value)) return *text;
    return std::string();
}

std::string Fields::Key(const std::string& name) {
    std::string key = name;
    for (char& c : key)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return key;
}

FieldPtr Fields::GetItem(const std::string& name) {
    FieldPtr& field = m_fields[Key(name)];
    if (!field) field.reset(new Field(name));
    return field;
}

void Fields::Update() {
    for (const auto& [key, field] : m_fields) m_committed[key] = field->m_value;
}

void Fields::Resync() {
    for (const auto& [key, field] : m_fields) {
        auto it = m_committed.find(key);
        field->m_value = it == m_committed.end() ? FieldValue() : it->second;
    }
}

FieldValue Fields::Committed(const std::string& name) const {
    auto it = m_committed.find(Key(name));
    return it == m_committed.end() ? FieldValue() : it->second;
}

}  // namespace ADODB

namespace CDO {
namespace {

[[noreturn]] void Raise(HRESULT hr, const std::string& description) {
    throw KvComError(hr, kErrorSource, description);
}

// What the SMTP conversation showed: the command last sent, the replies, and
// the first reply that refused something with the command it answered (a
// refused command is followed by QUIT, whose reply must not hide it).
struct Conversation {
    std::string command;
    std::string reply;          // the last complete reply, lines joined
    std::string pendingLines;   // lines of a multi-line reply so far
    bool greeted = false;       // the server has said anything at all
    std::string refusal;        // first reply of code 4xx or 5xx
    std::string refusedCommand;
    const std::string* message = nullptr;
    size_t sent = 0;
};

int OnDebug(CURL*, curl_infotype type, char* data, size_t size, void* user) {
    auto* talk = static_cast<Conversation*>(user);
    std::string text(data, size);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (type == CURLINFO_HEADER_OUT) {
        talk->command = text.substr(0, text.find(' '));
        for (char& c : talk->command)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    } else if (type == CURLINFO_HEADER_IN) {
        talk->greeted = true;
        if (!talk->pendingLines.empty()) talk->pendingLines += " ";
        talk->pendingLines += text;
        if (text.size() < 4 || text[3] != '-') {  // the last line of a reply
            talk->reply = talk->pendingLines;
            talk->pendingLines.clear();
            if (talk->refusal.empty() && (talk->reply[0] == '4' || talk->reply[0] == '5')) {
                talk->refusal = talk->reply;
                talk->refusedCommand = talk->command;
            }
        }
    }
    return 0;
}

size_t OnRead(char* buffer, size_t size, size_t count, void* user) {
    auto* talk = static_cast<Conversation*>(user);
    size_t n = std::min(size * count, talk->message->size() - talk->sent);
    std::memcpy(buffer, talk->message->data() + talk->sent, n);
    talk->sent += n;
    return n;
}

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string ServerUrl(const std::string& server, LONG port) {
    std::string host = server;
    if (host.find(':') != std::string::npos && host.front() != '[') host = "[" + host + "]";
    char name[64] = {};
    DWORD size = sizeof name;
    std::string helo = GetComputerNameA(name, &size) ? name : "localhost";
    return "smtp://" + host + ":" + std::to_string(port) + "/" + helo;
}

struct CurlHandle {
    CURL* curl = curl_easy_init();
    curl_slist* recipients = nullptr;
    ~CurlHandle() {
        if (curl != nullptr) curl_easy_cleanup(curl);
        curl_slist_free_all(recipients);
    }
};

}  // namespace

void IMessage::PutConfiguration(IConfigurationPtr configuration) {
    if (!configuration) _com_issue_error(E_POINTER);
    m_configuration = std::move(configuration);
}

HRESULT IMessage::Send() {
    ADODB::FieldsPtr fields = m_configuration->GetFields();
    LONG sendUsing = 0;
    if (!fields->Committed(cdoSendUsingMethod).AsLong(sendUsing) || sendUsing != cdoSendUsingPort)
        Raise(CDO_E_INVALID_SEND_OPTION, "The \"SendUsing\" configuration value is invalid.");
    std::string server = fields->Committed(cdoSMTPServer).AsText();
    if (server.empty())
        Raise(CDO_E_SMTP_SERVER_REQUIRED,
              "The SMTP server name is required, and was not found in the configuration source.");
    LONG port = 25;
    ADODB::FieldValue portValue = fields->Committed(cdoSMTPServerPort);
    if (!portValue.IsEmpty() && (!portValue.AsLong(port) || port <= 0 || port > 65535))
        Raise(CDO_E_FAILED_TO_CONNECT, "The transport failed to connect to the server. (The port \"" +
                                           portValue.AsText() + "\" is not a valid port.)");
    LONG timeout = 30;
    if (!fields->Committed(cdoSMTPConnectionTimeout).AsLong(timeout) || timeout <= 0) timeout = 30;

    std::vector<kv::platform::MailAddress> from = kv::platform::ParseAddressList(m_from);
    if (from.empty())
        Raise(CDO_E_FROM_MISSING, "At least one of the From or Sender fields is required, and neither was found.");
    std::vector<kv::platform::MailAddress> to = kv::platform::ParseAddressList(m_to);
    if (to.empty()) Raise(CDO_E_RECIPIENT_MISSING, "At least one recipient is required, but none were found.");
    if (!kv::platform::IsValidEnvelopeAddress(from.front().address))
        Raise(CDO_E_SENDER_REJECTED, "The sender address \"" + from.front().address + "\" is not valid.");
    for (const auto& recipient : to)
        if (!kv::platform::IsValidEnvelopeAddress(recipient.address))
            Raise(CDO_E_RECIPIENTS_REJECTED, "The recipient address \"" + recipient.address + "\" is not valid.");

    std::string message = kv::platform::ComposeMessage({from, to, m_subject, m_textBody});

    InitCurlOnce();
    CurlHandle handle;
    if (handle.curl == nullptr) Raise(E_OUTOFMEMORY, "The SMTP transport could not be created.");
    for (const auto& recipient : to) {
        curl_slist* next = curl_slist_append(handle.recipients, ("<" + recipient.address + ">").c_str());
        if (next == nullptr) Raise(E_OUTOFMEMORY, "Out of memory.");
        handle.recipients = next;
    }
    Conversation talk;
    talk.message = &message;
    char error[CURL_ERROR_SIZE] = {};
    std::string url = ServerUrl(server, port);
    std::string sender = "<" + from.front().address + ">";
    CURL* curl = handle.curl;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROXY, "");  // the mail object talks to its server directly
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, static_cast<long>(timeout));
    // A server that accepts the connection and then says nothing is bounded too.
    curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, static_cast<long>(timeout));
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, sender.c_str());
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, handle.recipients);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(message.size()));
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, &OnRead);
    curl_easy_setopt(curl, CURLOPT_READDATA, &talk);
    curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, &OnDebug);
    curl_easy_setopt(curl, CURLOPT_DEBUGDATA, &talk);
    CURLcode code = curl_easy_perform(curl);
    if (code == CURLE_OK) return S_OK;

    std::string detail = error[0] != '\0' ? error : curl_easy_strerror(code);
    const std::string& refusal = talk.refusal;
    if (!refusal.empty()) {
        if (talk.refusedCommand == "RCPT")
            Raise(CDO_E_RECIPIENTS_REJECTED,
                  "The server rejected one or more recipient addresses. The server response was: " + refusal);
        if (talk.refusedCommand == "MAIL")
            Raise(CDO_E_SENDER_REJECTED, "The server rejected the sender address. The server response was: " + refusal);
        if (talk.refusedCommand.empty())  // refused at its greeting
            Raise(CDO_E_FAILED_TO_CONNECT,
                  "The transport failed to connect to the server. The server response was: " + refusal);
        Raise(CDO_E_SMTP_SEND_FAILED,
              "The message could not be sent to the SMTP server. The server response was: " + refusal);
    }
    if (!talk.greeted)
        Raise(CDO_E_FAILED_TO_CONNECT, "The transport failed to connect to the server. (" + detail + ")");
    std::string description = "The transport lost its connection to the server. (" + detail + ")";
    if (!talk.reply.empty()) description += " The last server response was: " + talk.reply;
    Raise(CDO_E_CONNECTION_DROPPED, description);
}

HRESULT IMessagePtr::CreateInstance(LPCSTR clsid, LPVOID, DWORD) {
    if (clsid == nullptr) return E_INVALIDARG;
    if (strcasecmp(clsid, CLSID_Message) != 0 && strcasecmp(clsid, "CDO.Message") != 0 &&
        strcasecmp(clsid, "CDO.Message.1") != 0)
        return REGDB_E_CLASSNOTREG;
    if (!kv::platform::ComInitialized()) return CO_E_NOTINITIALIZED;
    m_message = std::make_shared<IMessage>();
    return S_OK;
}

IMessage* IMessagePtr::operator->() const {
    if (!m_message) _com_issue_error(E_POINTER);
    return m_message.get();
}

}  // namespace CDO
