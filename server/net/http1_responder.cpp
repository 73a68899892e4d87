#include "server/net/http1_responder.h"

#include "server/net/http1_writer.h"
#include "server/net/none_blocking_server.h"

void CHttp1Responder::Interim(Response response) {
  Post(0, std::move(response));
}

void CHttp1Responder::Respond(Response response) {
  Post(1, std::move(response));
}

std::string CHttp1Responder::PeerAddress() const {
  return Gone() ? std::string() : server_->PeerAddress(socket_);
}

void CHttp1Responder::ResumeBody() {
  if (!Gone()) server_->WakeLoop();
}

void CHttp1Responder::Post(int16_t final_flag, Response response) {
  // A connection that closes between this test and the queueing leaves a message that the
  // server's sweep of orphaned answers removes.
  if (Gone()) return;
  if (omit_body_) response.DropBody();
  s_message message = Http1Message(std::move(response));
  message.socket = socket_;
  message.connection_id = connection_id_;
  server_->PostResponse(final_flag, std::move(message));
}
