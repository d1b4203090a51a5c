#include "web/InternalRequest.h"

#include "http/CConnInfo.h"
#include "os/CGenericSocket.h"
#include "text/Vocabulary.h"

#include <string>

bool InternalRequest::HasParameter(const CIString& name) const {
    return m_parameters.find(name) != m_parameters.end();
}

bool InternalRequest::GetParameter(const CIString& name, CIString& value) const {
    const auto it = m_parameters.find(name);
    if (it == m_parameters.end()) {
        value.clear();
        return false;
    }
    value = it->second;
    return true;
}

bool InternalRequest::GetIntParameter(const CIString& name, int& number) const {
    const auto it = m_parameters.find(name);
    if (it == m_parameters.end()) {
        number = 0;
        return false;
    }
    number = it->second.ToInt();
    return true;
}

bool InternalRequest::GetAuthorization(CIString& value) const {
    value.clear();
    return m_message.GetHeader(vocab::kHdrAuthorization, value);
}

void InternalRequest::BeginResponse(int status, std::string_view contentType) {
    const bool proxyStyle = m_socket.ProxyStyle();
    // The connection thread closes the browser connection after an internal
    // request; announcing keep-alive would leave the browser waiting on a
    // connection that is about to go away.
    m_socket.SetKeepAlive(false);
    // The body goes out whole behind a Content-Length.
    m_socket.SetChunkedOutput(false);
    m_message.InitResponse(status);
    if (!contentType.empty())
        m_message.AddHeader(vocab::kHdrContentType, CIString(contentType));
    m_message.AddHeader(proxyStyle ? vocab::kHdrProxyConnection : vocab::kHdrConnection, "close");
}

void InternalRequest::AddResponseHeader(const CIString& name, const CIString& value) {
    m_message.AddHeader(name, value);
}

void InternalRequest::SendResponse(const void* data, std::uint32_t length) {
    m_message.RemoveHeader(vocab::kHdrContentLength);
    m_message.AddHeader(vocab::kHdrContentLength, CIString(std::to_string(length)));
    m_message.WriteHead(m_socket);
    if (length > 0)
        m_socket.Send(data, length);
}
