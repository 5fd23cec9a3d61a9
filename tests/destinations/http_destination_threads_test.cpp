// TBxHttpDestination against a loopback HTTP server that records raw requests.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "destinations/http_destination.h"
#include "destinations/remote_fixture.h"
#include "messages/base64.h"
#include "support/scripted_server.h"

namespace bx {
namespace {

using test::THttpTestServer;

class HttpDestinationTest : public test::RemoteFixture {
 protected:
  std::unique_ptr<TBxHttpDestination> Make(const std::string& options) {
    auto d = std::make_unique<TBxHttpDestination>();
    d->SetName("Http");
    d->SetOptions(options);
    EXPECT_FALSE(d->Invalid);
    return d;
  }
  static std::string Body(const std::string& request) {
    return request.substr(request.find("\r\n\r\n") + 4);
  }
  static std::string RequestLine(const std::string& request) {
    return request.substr(0, request.find("\r\n"));
  }
  static std::string Header(const std::string& request, const std::string& name) {
    const size_t at = request.find("\r\n" + name + ": ");
    if (at == std::string::npos) return "<none>";
    const size_t start = at + 4 + name.size();
    return request.substr(start, request.find("\r\n", start) - start);
  }
};

TEST_F(HttpDestinationTest, EachMessageIsAConnectAndAMessageRequest) {
  THttpTestServer server;
  const std::string base = "http://127.0.0.1:" + std::to_string(server.Port()) + "/bx";
  auto d = Make("URL=" + base);
  TDispatchMessagePtr m = Message(0);
  d->Dispatch(*m);
  const std::string firstId = d->RemoteDispatchID;
  EXPECT_FALSE(d->Connected);
  EXPECT_EQ(FieldText(m->DispatchID), firstId);
  TDispatchMessagePtr second = Message(1, "two");
  d->Dispatch(*second);
  EXPECT_NE(d->RemoteDispatchID, firstId);

  ASSERT_TRUE(server.WaitForRequests(4));
  const auto r = server.Requests();
  ASSERT_EQ(r.size(), 4u);
  EXPECT_EQ(RequestLine(r[0]), "POST /bx/connect?Alias=Default HTTP/1.0");
  EXPECT_EQ(Body(r[0]), firstId + "&|&Viewer");
  EXPECT_EQ(Header(r[0], "Content-Length"), std::to_string(38 + 3 + 6));
  EXPECT_EQ(Header(r[0], "Host"), "127.0.0.1:" + std::to_string(server.Port()));
  EXPECT_EQ(RequestLine(r[1]), "POST /bx/message?Alias=Default HTTP/1.0");
  TDispatchMessagePtr expected = Message(0);
  SetFieldText(expected->DispatchID, firstId);
  EXPECT_EQ(Body(r[1]), "2130706433&|&246&|&" + EncodeBase64(Bytes(*expected)));
  // The second pair carries the second ID in both requests.
  EXPECT_EQ(Body(r[2]), d->RemoteDispatchID + "&|&Viewer");
  const std::string b64 = Body(r[3]).substr(std::string("2130706433&|&249&|&").size());
  const std::string record = DecodeBase64(b64);
  ASSERT_EQ(record.size(), 249u);
  EXPECT_EQ(FieldText(reinterpret_cast<const TDispatchMessage*>(record.data())->DispatchID),
            d->RemoteDispatchID);
  d.reset();  // never Connected: nothing more is sent
  EXPECT_EQ(server.Requests().size(), 4u);
  EXPECT_TRUE(Errors().empty());
}

TEST_F(HttpDestinationTest, AliasIsEncodedAndProxyUsed) {
  THttpTestServer proxy;
  auto d = Make("URL=http://origin.test/;Alias=Team A/\xC3\x9C;ProxyServer=127.0.0.1;ProxyPort=" +
                std::to_string(proxy.Port()) + ";ProxyUsername=u;ProxyPassword=p");
  EXPECT_EQ(d->GetProxyServer(), "127.0.0.1");
  EXPECT_EQ(d->GetProxyUsername(), "u");
  TDispatchMessagePtr m = Message(0);
  d->Dispatch(*m);
  ASSERT_TRUE(proxy.WaitForRequests(2));
  const auto r = proxy.Requests();
  // A URL ending in "/" gives a doubled "/"; the absolute URL goes to the proxy.
  EXPECT_EQ(RequestLine(r[0]), "POST http://origin.test//connect?Alias=Team+A%2F%C3%9C HTTP/1.0");
  EXPECT_EQ(RequestLine(r[1]), "POST http://origin.test//message?Alias=Team+A%2F%C3%9C HTTP/1.0");
  EXPECT_EQ(Header(r[0], "Host"), "origin.test");
  EXPECT_EQ(Header(r[0], "Proxy-Authorization"), "Basic " + EncodeBase64("u:p"));
  EXPECT_EQ(EncodeAliasParam("aZ09!$'()*-._@ ~"), "aZ09!$'()*-._@+%7E");
}

TEST_F(HttpDestinationTest, LargeRecordsGetTheConnectOnlyAndErrorsPropagate) {
  THttpTestServer server;
  auto d = Make("URL=http://127.0.0.1:" + std::to_string(server.Port()));
  TDispatchMessagePtr fits = Message(0, std::string(49149 - 246, 'x'));
  d->Dispatch(*fits);
  ASSERT_TRUE(server.WaitForRequests(2));
  EXPECT_EQ(RequestLine(server.Requests()[1]), "POST /message?Alias=Default HTTP/1.0");
  TDispatchMessagePtr tooLarge = Message(0, std::string(49150 - 246, 'x'));
  d->Dispatch(*tooLarge);
  ASSERT_TRUE(server.WaitForRequests(3));
  EXPECT_EQ(RequestLine(server.Requests()[2]), "POST /connect?Alias=Default HTTP/1.0");

  // A failed "/connect" raises out of Dispatch, and no "/message" follows.
  server.SetResponse("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
  TDispatchMessagePtr m = Message(0);
  EXPECT_THROW(d->Dispatch(*m), EBxHTTPProtocolException);
  // Once the endpoint answers again, both requests are made.
  server.SetResponse("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
  d->Dispatch(*m);
  EXPECT_EQ(server.Requests().size(), 6u);
  auto https = Make("URL=https://127.0.0.1:" + std::to_string(server.Port()));
  EXPECT_THROW(https->Dispatch(*m), EBxNetError);
  EXPECT_EQ(server.Requests().size(), 6u);
  EXPECT_TRUE(Errors().empty());  // the destination logs nothing: the dispatch thread does
}

}  // namespace
}  // namespace bx
