#pragma once

#include "transporterror.h"

#include <QByteArray>
#include <QCoro/QCoroTask>
#include <QNetworkRequest>

#include <chrono>
#include <optional>

class QNetworkAccessManager;
class QObject;

// HTTP POSTs and their replies, with the limits every client of ours needs:
// - no redirect is followed: a key or a token must never travel to another host;
// - the body goes out at most once: Qt would send it again when a connection drops after the
//   server had it, and every request to a paid service may be billed;
// - the reply is read as it arrives, with a bounded buffer, and given up beyond a size cap;
// - the whole exchange has a deadline, and the wait for further data a limit of its own.
// The system's proxy settings apply (the desktop's, or https_proxy and no_proxy). Connections
// are kept and reused between posts.
class HttpExchange
{
public:
    struct Limits
    {
        std::chrono::milliseconds idle{0};  // longest wait for further data; 0 for none
        std::chrono::milliseconds deadline; // the whole exchange, from sending to the last byte
        qint64 maxBody = 0;
    };

    struct Response
    {
        int status = 0;         // 0: the server's answer was no HTTP reply
        QByteArray body{};      // what arrived, never more than maxBody bytes
        bool oversized = false; // the body went on beyond maxBody and was given up
        // Set when the body was cut short (time-out, connection lost) after the status came.
        std::optional<TransportError> failure{};
    };

    // The network stack is made at the first post, as a child of `owner`: it is a megabyte of
    // memory that a program nobody has asked to translate anything does not need.
    explicit HttpExchange(QObject *owner);

    // Throws TransportError when no reply came at all (refused, time-out, TLS, cancelled,
    // including the owner going away meanwhile).
    QCoro::Task<Response> post(QNetworkRequest request, QByteArray body, Limits limits);

private:
    QObject *m_owner;
    QNetworkAccessManager *m_network = nullptr;
};
