// The CDO message object: a message with its Configuration (fields addressed
// by their full names in the CDO configuration namespace), Subject, TextBody,
// From, To and Send, sent over SMTP by port. Used as the #import wrappers of
// the type library are used: property calls are Get/Put methods, failures
// are raised as KvComError (source "CDO.Message.1", a description holding
// the server's reply or the connection error).
//
//   CoInitialize(nullptr);
//   CDO::IMessagePtr message;
//   HRESULT hr = message.CreateInstance(CDO::CLSID_Message);
//   ADODB::FieldsPtr fields = message->GetConfiguration()->GetFields();
//   fields->GetItem(CDO::cdoSendUsingMethod)->PutValue(CDO::cdoSendUsingPort);
//   fields->GetItem(CDO::cdoSMTPServer)->PutValue("127.0.0.1");
//   fields->Update();
//   message->PutSubject(...); message->PutTextBody(...);
//   message->PutFrom(...); message->PutTo("a@x; b@y");
//   message->Send();
#pragma once

#include <map>
#include <memory>
#include <string>
#include <variant>

#include "platform/com/ComError.h"
#include "platform/com/ComInit.h"
#include "platform/win/WinTypes.h"

#ifndef E_POINTER
#define E_POINTER ((HRESULT)0x80004003L)
#endif

namespace ADODB {

// A field's value: empty, a 32-bit integer or a text, converted between them
// when read as the other kind.
class FieldValue {
public:
    FieldValue() = default;
    FieldValue(LONG value) : m_value(value) {}
    FieldValue(const char* value) : m_value(std::string(value != nullptr ? value : "")) {}
    FieldValue(std::string value) : m_value(std::move(value)) {}

    bool IsEmpty() const { return std::holds_alternative<std::monostate>(m_value); }
    bool IsText() const { return std::holds_alternative<std::string>(m_value); }
    // Text as a number when it is one; false when the value is none.
    bool AsLong(LONG& value) const;
    std::string AsText() const;
    bool operator==(const FieldValue& other) const { return m_value == other.m_value; }

private:
    std::variant<std::monostate, LONG, std::string> m_value;
};

class Fields;

class Field {
public:
    const std::string& GetName() const { return m_name; }
    FieldValue GetValue() const { return m_value; }
    void PutValue(const FieldValue& value) { m_value = value; }

private:
    friend class Fields;
    explicit Field(std::string name) : m_name(std::move(name)) {}
    std::string m_name;
    FieldValue m_value;
};
typedef std::shared_ptr<Field> FieldPtr;

// The configuration's fields. Item of a name not yet present adds it, as the
// configuration accepts any field of its namespace; names are compared
// without regard to case. Changed values count for sending only after Update;
// Resync drops changes not yet updated.
class Fields {
public:
    FieldPtr GetItem(const std::string& name);
    LONG GetCount() const { return static_cast<LONG>(m_fields.size()); }
    void Update();
    void Resync();
    // The value as of the last Update (empty when none).
    FieldValue Committed(const std::string& name) const;

private:
    static std::string Key(const std::string& name);
    std::map<std::string, FieldPtr> m_fields;
    std::map<std::string, FieldValue> m_committed;
};
typedef std::shared_ptr<Fields> FieldsPtr;

}  // namespace ADODB

namespace CDO {

inline constexpr char CLSID_Message[] = "{CD000001-8B95-11D1-82DB-00C04FB1625D}";
inline constexpr char IID_IMessage[] = "{CD000020-8B95-11D1-82DB-00C04FB1625D}";
inline constexpr char IID_IConfiguration[] = "{CD000022-8B95-11D1-82DB-00C04FB1625D}";

inline constexpr char cdoSendUsingMethod[] = "http://schemas.microsoft.com/cdo/configuration/sendusing";
inline constexpr char cdoSMTPServer[] = "http://schemas.microsoft.com/cdo/configuration/smtpserver";
inline constexpr char cdoSMTPServerPort[] = "http://schemas.microsoft.com/cdo/configuration/smtpserverport";
inline constexpr char cdoSMTPConnectionTimeout[] =
    "http://schemas.microsoft.com/cdo/configuration/smtpconnectiontimeout";

enum CdoSendUsing : LONG { cdoSendUsingPickup = 1, cdoSendUsingPort = 2 };

// The source of the errors the message object raises.
inline constexpr char kErrorSource[] = "CDO.Message.1";

#define CDO_E_SMTP_SERVER_REQUIRED ((HRESULT)0x8004020AL)
#define CDO_E_RECIPIENT_MISSING ((HRESULT)0x8004020CL)
#define CDO_E_FROM_MISSING ((HRESULT)0x8004020DL)
#define CDO_E_SENDER_REJECTED ((HRESULT)0x8004020EL)
#define CDO_E_RECIPIENTS_REJECTED ((HRESULT)0x8004020FL)
#define CDO_E_SMTP_SEND_FAILED ((HRESULT)0x80040211L)
#define CDO_E_CONNECTION_DROPPED ((HRESULT)0x80040212L)
#define CDO_E_FAILED_TO_CONNECT ((HRESULT)0x80040213L)
#define CDO_E_INVALID_SEND_OPTION ((HRESULT)0x80040220L)

class IConfiguration {
public:
    IConfiguration() : m_fields(std::make_shared<ADODB::Fields>()) {}
    ADODB::FieldsPtr GetFields() const { return m_fields; }

private:
    ADODB::FieldsPtr m_fields;
};
typedef std::shared_ptr<IConfiguration> IConfigurationPtr;

class IMessage {
public:
    IMessage() : m_configuration(std::make_shared<IConfiguration>()) {}

    IConfigurationPtr GetConfiguration() const { return m_configuration; }
    void PutConfiguration(IConfigurationPtr configuration);
    std::string GetSubject() const { return m_subject; }
    void PutSubject(const std::string& subject) { m_subject = subject; }
    std::string GetTextBody() const { return m_textBody; }
    void PutTextBody(const std::string& body) { m_textBody = body; }
    std::string GetFrom() const { return m_from; }
    void PutFrom(const std::string& from) { m_from = from; }
    std::string GetTo() const { return m_to; }
    void PutTo(const std::string& to) { m_to = to; }

    // Hands the message to the server of the configuration; S_OK, or raises
    // KvComError with one of the CDO_E_ codes.
    HRESULT Send();

private:
    IConfigurationPtr m_configuration;
    std::string m_subject, m_textBody, m_from, m_to;
};

// The smart pointer of the message object.
class IMessagePtr {
public:
    IMessagePtr() = default;
    // CLSID_Message (or the ProgID "CDO.Message"); REGDB_E_CLASSNOTREG for
    // other classes, CO_E_NOTINITIALIZED on a thread without COM.
    HRESULT CreateInstance(LPCSTR clsid, LPVOID outer = nullptr, DWORD context = CLSCTX_ALL);
    // Raises E_POINTER when no object is held.
    IMessage* operator->() const;
    explicit operator bool() const { return m_message != nullptr; }
    void Release() { m_message.reset(); }

private:
    std::shared_ptr<IMessage> m_message;
};

}  // namespace CDO
