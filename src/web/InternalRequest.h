#pragma once

#include "text/CIString.h"

#include <cstdint>
#include <map>
#include <string_view>

class CConnInfo;
class CGenericSocket;

// One request as an internal handler sees it: its parameters, and the socket
// and message that the answer is made with. Socket and message belong to the
// connection thread and outlive this object.
class InternalRequest {
public:
    using ParameterMap = std::multimap<CIString, CIString>;

    InternalRequest(CGenericSocket& socket, CConnInfo& message)
        : m_socket(socket), m_message(message) {}
    InternalRequest(const InternalRequest&) = delete;
    InternalRequest& operator=(const InternalRequest&) = delete;

    // Names compare case-insensitively; a repeated name is kept once per
    // occurrence, in the order the request gave them.
    ParameterMap& Parameters() { return m_parameters; }
    const ParameterMap& Parameters() const { return m_parameters; }
    bool HasParameter(const CIString& name) const;
    // The first value of that name and true; empty text and false when none.
    bool GetParameter(const CIString& name, CIString& value) const;
    // atoi of the first value and true; 0 and false when none.
    bool GetIntParameter(const CIString& name, int& number) const;
    // The request's Authorization field; empty text and false when none.
    // Valid until BeginResponse, which turns the request into the response.
    bool GetAuthorization(CIString& value) const;

    // Turns the message into a response head with this status and, when not
    // empty, this Content-type. The connection ends after every internal
    // answer, so the head says so and the socket's keep-alive goes off.
    void BeginResponse(int status, std::string_view contentType);
    void AddResponseHeader(const CIString& name, const CIString& value);
    // Adds Content-Length, writes the head and then the data.
    void SendResponse(const void* data, std::uint32_t length);
    void SendResponse(std::string_view data) {
        SendResponse(data.data(), static_cast<std::uint32_t>(data.size()));
    }

    CGenericSocket& Socket() { return m_socket; }
    CConnInfo& Message() { return m_message; }
    const CConnInfo& Message() const { return m_message; }

private:
    ParameterMap m_parameters;
    CGenericSocket& m_socket;
    CConnInfo& m_message;
};
