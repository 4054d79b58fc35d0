// Connecting to a scripted interface and saying goodbye.
#include "client/interface_client.h"

#include "scripted_client_test.h"

namespace {

using ConnectionTest = ScriptedClientTest;

TEST_F(ConnectionTest, SecondDisconnectSendsNothing) {
  Install({Expect({0xFF}), Answer({0x00})});
  {
    InterfaceClient client(clock);
    ASSERT_TRUE(client.Connect());
    EXPECT_FALSE(client.Connect()) << "a link that is up is not opened again";
    EXPECT_TRUE(client.Disconnect());
    EXPECT_FALSE(client.Disconnect());
  }
  ExpectExactExchange();
  EXPECT_EQ(peer->Sessions(), 1u);
}

TEST_F(ConnectionTest, RefusedGoodbyeStillEndsTheLink) {
  Install({Expect({0xFF}), Answer({0x01})});
  {
    InterfaceClient client(clock);
    ASSERT_TRUE(client.Connect());
    EXPECT_FALSE(client.Disconnect());
    EXPECT_FALSE(client.Disconnect()) << "the link is gone: nothing more is sent";
  }
  ExpectExactExchange();
}

// The goodbye waits 1000 ms for its answer; a Receive that comes back empty
// exactly then is followed by one more, so it gives up only after the
// second wait, also when the tick wraps in between.
TEST_F(ConnectionTest, UnansweredGoodbyeFailsOnlyAfterMoreThanItsLimit) {
  for (const uint32_t start : {0u, 0xFFFFFF00u}) {
    SCOPED_TRACE(start);
    HeldClock held(start);
    auto silent = InstallScriptedInterface(held, {Expect({0xFF}), RunOutWaits(2)});
    {
      InterfaceClient client(held);
      ASSERT_TRUE(client.Connect());
      EXPECT_FALSE(client.Disconnect());
      EXPECT_EQ(held.Now() - start, 2000u);
      EXPECT_FALSE(client.Disconnect());
    }
    EXPECT_EQ(silent->Received(), "FF");
    EXPECT_TRUE(silent->Finished());
  }
}

}  // namespace
