// TBxHTTP against a loopback server that records raw requests.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "messages/base64.h"
#include "net/http_client.h"
#include "support/scripted_server.h"

namespace bx {
namespace {

using test::THttpTestServer;
using test::TScriptedServer;

std::string Head(const std::string& requestLine, const std::string& host, size_t length) {
  return requestLine + "\r\nHost: " + host +
         "\r\nAccept: text/html, */*\r\nUser-Agent: Mozilla/3.0 (compatible; Brevix "
         "Library)\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
         std::to_string(length) + "\r\n";
}

TEST(HttpClient, PostsTheExactRequestOnANewConnectionEachTime) {
  THttpTestServer server;
  TBxHTTP http;
  const std::string host = "127.0.0.1:" + std::to_string(server.Port());
  http.PostForm("http://" + host + "/base/connect?Alias=Default", {"{ABC}", "Viewer"});
  http.PostForm("http://" + host + "/base/message?Alias=Default", {"a b=c d"});
  ASSERT_TRUE(server.WaitForRequests(2));
  const auto requests = server.Requests();
  EXPECT_EQ(requests[0],
            Head("POST /base/connect?Alias=Default HTTP/1.0", host, 14) + "\r\n{ABC}&|&Viewer");
  EXPECT_EQ(requests[1],
            Head("POST /base/message?Alias=Default HTTP/1.0", host, 9) + "\r\na b=c%20d");
  EXPECT_EQ(http.ResponseCode(), 200);
}

TEST(HttpClient, GoesThroughAProxyWithTheAbsoluteUrlAndBasicCredentials) {
  THttpTestServer proxy;
  TBxHTTP http;
  http.SetProxyServer("127.0.0.1");
  http.SetProxyPort(proxy.Port());
  const std::string url = "http://origin.test:81/x/connect?Alias=A";
  http.PostForm(url, {"k=v"});
  http.SetProxyUsername("user");
  http.SetProxyPassword("p\xC3\xA4ss:w");
  http.PostForm(url, {"k=v"});
  ASSERT_TRUE(proxy.WaitForRequests(2));
  const auto requests = proxy.Requests();
  EXPECT_EQ(requests[0], Head("POST " + url + " HTTP/1.0", "origin.test:81", 3) + "\r\nk=v");
  EXPECT_EQ(requests[1], Head("POST " + url + " HTTP/1.0", "origin.test:81", 3) +
                             "Proxy-Authorization: Basic " + EncodeBase64("user:p\xC3\xA4ss:w") +
                             "\r\n\r\nk=v");
  EXPECT_EQ(EncodeBase64("user:p\xC3\xA4ss:w"), "dXNlcjpww6Rzczp3");

  TBxHTTP noPort;
  noPort.SetProxyServer("127.0.0.1");
  EXPECT_THROW(noPort.PostForm(url, {}), EBxNetError);
}

TEST(HttpClient, StatusDecidesAndEveryBodyFormIsRead) {
  THttpTestServer server;
  TBxHTTP http;
  const std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/m";

  server.SetResponse("HTTP/1.1 404 Not Found\r\nContent-Length: 5\r\n\r\nnope!");
  try {
    http.PostForm(url, {"a"});
    FAIL() << "no exception";
  } catch (const EBxHTTPProtocolException& e) {
    EXPECT_EQ(e.ErrorCode, 404);
    EXPECT_EQ(e.StatusText, "Not Found");
    EXPECT_EQ(e.ErrorMessage, "nope!");
    EXPECT_STREQ(e.what(), "HTTP/1.1 404 Not Found");
  }
  server.SetResponse("HTTP/1.0 301 Moved\r\nLocation: http://elsewhere/\r\n\r\n");
  EXPECT_THROW(http.PostForm(url, {"a"}), EBxHTTPProtocolException);
  server.SetResponse("HTTP/1.0 407 Proxy Authentication Required\r\n\r\n");
  EXPECT_THROW(http.PostForm(url, {"a"}), EBxHTTPProtocolException);

  // Success with a body by length, in chunks, up to the close, and none after 204; an interim
  // 100 before the final answer is skipped.
  server.SetResponse("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabc");
  EXPECT_NO_THROW(http.PostForm(url, {"a"}));
  server.SetResponse(
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4;x=y\r\nWiki\r\n5\r\npedia\r\n0\r\n"
      "Trailer: 1\r\n\r\n");
  EXPECT_NO_THROW(http.PostForm(url, {"a"}));
  server.SetResponse("HTTP/1.0 200 OK\r\n\r\n" + std::string(100000, 'z'));
  EXPECT_NO_THROW(http.PostForm(url, {"a"}));
  server.SetResponse("HTTP/1.1 204 No Content\r\n\r\n");
  EXPECT_NO_THROW(http.PostForm(url, {"a"}));
  server.SetResponse(
      "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 201 Created\r\nContent-Length: 0\r\n\r\n");
  EXPECT_NO_THROW(http.PostForm(url, {"a"}));
  EXPECT_EQ(http.ResponseCode(), 201);

  // Broken answers are errors, not hangs.
  server.SetResponse("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n");
  EXPECT_THROW(http.PostForm(url, {"a"}), EBxNetError);
  server.SetResponse("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nshort");
  EXPECT_THROW(http.PostForm(url, {"a"}), EBxConnClosedGracefully);
  server.SetResponse("SMTP ready\r\n\r\n");
  EXPECT_THROW(http.PostForm(url, {"a"}), EBxNetError);
  server.SetResponse("");
  EXPECT_THROW(http.PostForm(url, {"a"}), EBxConnClosedGracefully);
}

TEST(HttpClient, RefusesOtherSchemesAndUnsafeUrlsBeforeConnecting) {
  THttpTestServer server;
  TBxHTTP http;
  const std::string hostPort = "127.0.0.1:" + std::to_string(server.Port());
  EXPECT_THROW(http.PostForm("http://" + hostPort + "/x HTTP/1.0\r\nEvil: 1\r\n", {"a"}),
               EBxNetError);
  EXPECT_THROW(http.PostForm("ftp://" + hostPort + "/x", {"a"}), EBxNetError);
  EXPECT_EQ(server.Requests().size(), 0u);
}

TEST(HttpClient, ASilentServerMeetsTheReadTimeout) {
  TScriptedServer silent([](TStreamSocket& s) { test::ReadUntilClosed(s); });
  TBxHTTP http;
  http.ReadTimeout = std::chrono::milliseconds(200);
  try {
    http.PostForm("http://127.0.0.1:" + std::to_string(silent.Port()) + "/x", {"a"});
    FAIL() << "no exception";
  } catch (const ESocketError& e) {
    EXPECT_EQ(e.Code(), TimedOutError("x").Code());
    EXPECT_EQ(std::string(e.what()).rfind("Socket Error # ", 0), 0u);
  }
}

// Reads a request's head, up to its blank line (the body is short and comes with it).
void ReadRequestHead(TStreamSocket& s) {
  std::string head;
  char buffer[4096];
  while (head.find("\r\n\r\n") == std::string::npos && s.WaitReadable(std::chrono::seconds(10))) {
    const size_t n = s.Read(buffer, sizeof buffer);
    if (n == 0) return;
    head.append(buffer, n);
  }
}

// Runs one PostForm and returns what it raised and how long it took.
struct TTimedPost {
  std::string Raised;  // "timed out", "other: <text>", or "" for success
  std::chrono::steady_clock::duration Took;
};
TTimedPost TimedPost(TBxHTTP& http, uint16_t port) {
  const auto start = std::chrono::steady_clock::now();
  TTimedPost result;
  try {
    http.PostForm("http://127.0.0.1:" + std::to_string(port) + "/message?Alias=Default", {"a"});
  } catch (const ESocketError& e) {
    result.Raised =
        e.Code() == TimedOutError("x").Code() ? "timed out" : "other: " + std::string(e.what());
  } catch (const std::exception& e) {
    result.Raised = "other: " + std::string(e.what());
  }
  result.Took = std::chrono::steady_clock::now() - start;
  return result;
}

TEST(HttpClient, ReadTimeoutBoundsTheWholeAnswerOfATricklingOrEndlessServer) {
  using namespace std::chrono_literals;
  // One byte a second: every single wait is short, the answer never completes in time. The
  // server gives up after 20 bytes, so a client without a bound on the whole answer sees the
  // close instead of its time-out.
  TScriptedServer trickle([](TStreamSocket& s) {
    ReadRequestHead(s);
    const std::string answer = "HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\n";
    for (size_t i = 0; i < 20; ++i) {
      s.Write(&answer[i], 1);
      std::this_thread::sleep_for(1s);
    }
  });
  TBxHTTP http;
  http.ReadTimeout = 3s;
  TTimedPost post = TimedPost(http, trickle.Port());
  EXPECT_EQ(post.Raised, "timed out");
  EXPECT_LT(post.Took, 3s + 5s);  // the time-out plus a margin for a loaded machine

  // A body without end, arriving briskly; the server stops after 20 s.
  TScriptedServer endless([](TStreamSocket& s) {
    ReadRequestHead(s);
    const std::string head = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n";
    s.Write(head.data(), head.size());
    const std::string chunk(16384, 'z');
    const auto stop = std::chrono::steady_clock::now() + 20s;
    while (std::chrono::steady_clock::now() < stop) {
      s.Write(chunk.data(), chunk.size());
      std::this_thread::sleep_for(10ms);
    }
  });
  http.ReadTimeout = 2s;
  post = TimedPost(http, endless.Port());
  EXPECT_EQ(post.Raised, "timed out");
  EXPECT_LT(post.Took, 2s + 5s);
}

}  // namespace
}  // namespace bx
