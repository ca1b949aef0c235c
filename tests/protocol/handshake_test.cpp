// Login and stream-open handshakes: request layout, every DVR result, and
// the transport failures.
#include <gtest/gtest.h>

#include <future>

#include "platform/notice.h"
#include "protocol/connection.h"
#include "support/fake_peer.h"

namespace {

struct NoticeRecorder {
  platform::RecordingNoticeSink sink;
  NoticeRecorder() { platform::SetNoticeSink(&sink); }
  ~NoticeRecorder() { platform::SetNoticeSink(nullptr); }
};

// Runs a login against a peer that answers with the given result.
int LoginWithResult(uint16_t result, uint16_t session_id = 0x0101) {
  FakePeer peer;
  CDvrConnection conn;
  auto login = std::async(std::launch::async, [&] { return conn.Login("127.0.0.1", peer.Port(), "user", "pw"); });
  EXPECT_TRUE(peer.Accept());
  EXPECT_TRUE(peer.AnswerLogin(result, session_id));
  return login.get();
}

int OpenWithResult(uint16_t result, PeerMessage* request = nullptr) {
  FakePeer peer;
  CDvrConnection conn;
  auto open = std::async(std::launch::async, [&] { return conn.OpenStream("127.0.0.1", peer.Port(), 0x1234); });
  EXPECT_TRUE(peer.Accept());
  PeerMessage req;
  EXPECT_TRUE(peer.Read(&req));
  if (request != nullptr) *request = req;
  EXPECT_TRUE(peer.Send(0x1022, FakePeer::Be16s({result})));
  return open.get();
}

TEST(Login, MapsEveryDvrResult) {
  NoticeRecorder notices;
  EXPECT_EQ(LoginWithResult(1, 0x0101), 0x0101);
  EXPECT_EQ(LoginWithResult(1, 0), 0);  // session id 0 is a success
  EXPECT_EQ(LoginWithResult(1, 0xFFFF), 0xFFFF);
  EXPECT_EQ(LoginWithResult(0xF001), kResultRefused);
  EXPECT_EQ(LoginWithResult(0xF003), kResultRefusedF003);
  EXPECT_EQ(LoginWithResult(0xF004), kResultRefusedF004);
  EXPECT_EQ(LoginWithResult(0xF006), kResultRefusedF006);
  EXPECT_EQ(LoginWithResult(0x0000), kResultRefusedOther);
  EXPECT_TRUE(notices.sink.Texts().empty());
  EXPECT_EQ(LoginWithResult(0xF002), kResultRefusedOther);
  ASSERT_EQ(notices.sink.Texts().size(), 1u);
  EXPECT_EQ(notices.sink.Texts()[0], "Exceed visitor can Dvr");
}

TEST(Login, RequestCarriesBoundedFields) {
  FakePeer peer;
  CDvrConnection conn;
  const std::string id32(32, 'u');
  const std::string long_pw(40, 'p');
  auto login = std::async(std::launch::async,
                          [&] { return conn.Login("127.0.0.1", peer.Port(), id32.c_str(), long_pw.c_str()); });
  ASSERT_TRUE(peer.Accept());
  PeerMessage req;
  ASSERT_TRUE(peer.AnswerLogin(1, 7, &req));
  EXPECT_EQ(login.get(), 7);
  ASSERT_EQ(req.payload.size(), 64u);
  EXPECT_EQ(std::string(req.payload.begin(), req.payload.begin() + 32), id32);  // no terminator
  EXPECT_EQ(std::string(req.payload.begin() + 32, req.payload.end()), std::string(32, 'p'));
}

// A login whose peer reads the request and then sends `answer` (nothing
// when it is empty).
int LoginAgainst(const std::vector<uint8_t>& answer) {
  FakePeer peer;
  CDvrConnection conn;
  auto login = std::async(std::launch::async, [&] { return conn.Login("127.0.0.1", peer.Port(), "u", "p"); });
  EXPECT_TRUE(peer.Accept());
  PeerMessage req;
  EXPECT_TRUE(peer.Read(&req));
  if (!answer.empty()) {
    EXPECT_TRUE(peer.SendRaw(answer));
  }
  return login.get();
}

TEST(Login, ShortWrongOrMissingAnswersFailTheHandshake) {
  EXPECT_EQ(LoginAgainst(FakePeer::Frame(0x1014, {0, 1})), kResultHandshakeFailed);  // too short for an id
  EXPECT_EQ(LoginAgainst(FakePeer::Frame(0x1022, FakePeer::Be16s({1, 1}))), kResultHandshakeFailed);  // other code
  EXPECT_EQ(LoginAgainst({}), kResultHandshakeFailed);  // no answer within 2 seconds
  {  // nobody listening
    const int port = FakePeer::UnusedPort();
    CDvrConnection conn;
    EXPECT_EQ(conn.Login("127.0.0.1", port, "u", "p"), kResultNoConnection);
    EXPECT_EQ(conn.Login("no-such-host.invalid", port, "u", "p"), kResultNoConnection);
  }
}

TEST(OpenStream, MapsResultsDifferentlyFromLogin) {
  NoticeRecorder notices;
  PeerMessage req;
  EXPECT_EQ(OpenWithResult(1, &req), 0);
  EXPECT_EQ(req.command, 0x1021);
  EXPECT_EQ(req.payload, FakePeer::Be16s({0x1234}));
  EXPECT_EQ(OpenWithResult(0xF001), kResultRefusedOther);
  EXPECT_EQ(OpenWithResult(0xF003), kResultRefusedF003);
  EXPECT_EQ(OpenWithResult(0xF004), kResultRefusedF004);
  EXPECT_EQ(OpenWithResult(0xF006), kResultRefusedF006);
  EXPECT_EQ(OpenWithResult(0xF002), kResultRefusedOther);
  ASSERT_EQ(notices.sink.Texts().size(), 1u);
  EXPECT_EQ(notices.sink.Texts()[0], "Stream NO_MORE_SESSION");
}

TEST(PlaybackRequest, HasTheFixedLayout) {
  FakePeer peer;
  CDvrConnection conn;
  ASSERT_EQ(conn.Start("127.0.0.1", peer.Port()), 1);
  ASSERT_TRUE(peer.Accept());
  EXPECT_EQ(conn.SendPlaybackRequest(0xFFFF, 3), 82);
  PeerMessage m;
  ASSERT_TRUE(peer.Read(&m));
  EXPECT_EQ(m.command, 0x4110);
  std::vector<uint8_t> expected = FakePeer::Be16s({1, 1, 0, 0xFFFF, 3, 1, 1970, 1, 1, 1, 1, 1});
  expected.resize(76, 0);
  EXPECT_EQ(m.payload, expected);
}

}  // namespace
