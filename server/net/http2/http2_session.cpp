#include "server/net/http2/http2_session.h"

#include <nghttp2/nghttp2.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <vector>

#include "platform/text.h"
#include "server/net/http2/http2_responder.h"
#include "server/net/http2/http2_stream.h"
#include "server/net/http_headers.h"
#include "server/net/request_framing.h"

namespace {

// Header lines that describe an HTTP/1.1 connection; HTTP/2 forbids them in its header lists.
constexpr std::string_view kConnectionHeaders[] = {"connection", "keep-alive", "proxy-connection",
                                                   "transfer-encoding", "upgrade"};
// Resets a client may send at once, and regains per second (a rapid reset flood is more).
constexpr uint64_t kResetBurst = 2 * Http2Session::kMaxConcurrentStreams;
constexpr uint64_t kResetsPerSecond = 33;
// What the whole connection may send ahead: enough for several uploads at full pace, while
// each stream stays bound by its own window.
constexpr int32_t kConnectionWindowBytes = 16 * 1024 * 1024;
// What a stream whose body goes to a handler's stream holds at most: the stream's fill and
// one window in flight.
constexpr size_t kBodyStreamBudget = kBodyStreamWindowBytes + Http2Session::kStreamWindowBytes;
// HPACK counts each header field as its name, its value and this much.
constexpr size_t kHeaderFieldOverhead = 32;

bool IsConnectionHeader(std::string_view lower_name) {
  return std::find(std::begin(kConnectionHeaders), std::end(kConnectionHeaders), lower_name) !=
         std::end(kConnectionHeaders);
}

nghttp2_nv Field(std::string_view name, std::string_view value) {
  return {reinterpret_cast<uint8_t*>(const_cast<char*>(name.data())),
          reinterpret_cast<uint8_t*>(const_cast<char*>(value.data())), name.size(), value.size(),
          NGHTTP2_NV_FLAG_NONE};
}

}  // namespace

// nghttp2 calls these with the session as its user data.
struct Http2Callbacks {
  static Http2Session& Of(void* user_data) { return *static_cast<Http2Session*>(user_data); }

  static int BeginHeaders(nghttp2_session*, const nghttp2_frame* frame, void* user_data) {
    if (frame->hd.type == NGHTTP2_HEADERS && frame->headers.cat == NGHTTP2_HCAT_REQUEST) {
      Of(user_data).BeginRequest(frame->hd.stream_id);
    }
    return 0;
  }

  static int Header(nghttp2_session*, const nghttp2_frame* frame, const uint8_t* name,
                    size_t name_size, const uint8_t* value, size_t value_size, uint8_t,
                    void* user_data) {
    Http2Stream* stream = Of(user_data).StreamOf(frame->hd.stream_id);
    // Trailers are read and dropped, as an HTTP/1.1 body's end is.
    if (stream == nullptr || frame->headers.cat != NGHTTP2_HCAT_REQUEST) return 0;
    Of(user_data).AddHeader(*stream,
                            std::string_view(reinterpret_cast<const char*>(name), name_size),
                            std::string_view(reinterpret_cast<const char*>(value), value_size));
    return 0;
  }

  static int FrameReceived(nghttp2_session*, const nghttp2_frame* frame, void* user_data) {
    Http2Session& session = Of(user_data);
    switch (frame->hd.type) {
      case NGHTTP2_SETTINGS:
      case NGHTTP2_PING:
        if ((frame->hd.flags & NGHTTP2_FLAG_ACK) == 0 && !session.CountControlFrame()) {
          return NGHTTP2_ERR_CALLBACK_FAILURE;
        }
        return 0;
      case NGHTTP2_HEADERS:
        if (frame->headers.cat == NGHTTP2_HCAT_REQUEST) session.EndHeaders(frame->hd.stream_id);
        break;
      case NGHTTP2_DATA:
        break;
      default:
        return 0;
    }
    if ((frame->hd.flags & NGHTTP2_FLAG_END_STREAM) != 0) session.EndRequest(frame->hd.stream_id);
    return 0;
  }

  static int DataChunk(nghttp2_session*, uint8_t, int32_t stream_id, const uint8_t* data,
                       size_t size, void* user_data) {
    Of(user_data).ReceiveData(stream_id,
                              std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
  }

  static int FrameSent(nghttp2_session* session, const nghttp2_frame* frame, void* user_data) {
    if ((frame->hd.type != NGHTTP2_HEADERS && frame->hd.type != NGHTTP2_DATA) ||
        (frame->hd.flags & NGHTTP2_FLAG_END_STREAM) == 0) {
      return 0;
    }
    // The answer is whole while the request's body still comes (a refusal): the client is
    // told to stop sending it, and nothing more of it is read.
    Http2Stream* stream = Of(user_data).StreamOf(frame->hd.stream_id);
    if (stream != nullptr && !stream->request_complete) {
      nghttp2_submit_rst_stream(session, NGHTTP2_FLAG_NONE, frame->hd.stream_id, NGHTTP2_NO_ERROR);
    }
    return 0;
  }

  static int StreamClosed(nghttp2_session*, int32_t stream_id, uint32_t, void* user_data) {
    Of(user_data).CloseStream(stream_id);
    return 0;
  }

  // Only sizes the next DATA frame: SendData writes it, its body straight from the answer
  // into the output, without a copy in between.
  static ssize_t ReadBody(nghttp2_session*, int32_t, uint8_t*, size_t length, uint32_t* flags,
                          nghttp2_data_source* source, void*) {
    Http2Stream& stream = *static_cast<Http2Stream*>(source->ptr);
    const size_t body_size = stream.answer.body_size();
    const size_t count = std::min(length, body_size - stream.body_framed);
    stream.body_framed += count;
    *flags |= NGHTTP2_DATA_FLAG_NO_COPY;
    if (stream.body_framed == body_size) *flags |= NGHTTP2_DATA_FLAG_EOF;
    return static_cast<ssize_t>(count);
  }

  static int SendData(nghttp2_session*, nghttp2_frame* frame, const uint8_t* frame_head,
                      size_t length, nghttp2_data_source* source, void* user_data) {
    Http2Stream& stream = *static_cast<Http2Stream*>(source->ptr);
    const bool ok = Of(user_data).AppendData(stream, frame->data.padlen,
                                             std::string_view(reinterpret_cast<const char*>(frame_head), 9),
                                             length);
    // A file cut short since it was opened cannot be delivered whole: the stream is reset.
    if (!ok) return NGHTTP2_ERR_TEMPORAL_CALLBACK_FAILURE;
    // The frames go on in the next Output, once the socket took these: otherwise nghttp2
    // would frame every answer's body up to the client's windows at once.
    return Of(user_data).OutputFull() ? NGHTTP2_ERR_PAUSE : 0;
  }
};

Http2Session::Http2Session(Environment environment)
    : env_(std::move(environment)), mailbox_(std::make_shared<CHttp2Mailbox>(env_.wake)) {
  nghttp2_session_callbacks* callbacks = nullptr;
  nghttp2_session_callbacks_new(&callbacks);
  nghttp2_session_callbacks_set_on_begin_headers_callback(callbacks, Http2Callbacks::BeginHeaders);
  nghttp2_session_callbacks_set_on_header_callback(callbacks, Http2Callbacks::Header);
  nghttp2_session_callbacks_set_on_frame_recv_callback(callbacks, Http2Callbacks::FrameReceived);
  nghttp2_session_callbacks_set_on_data_chunk_recv_callback(callbacks, Http2Callbacks::DataChunk);
  nghttp2_session_callbacks_set_on_frame_send_callback(callbacks, Http2Callbacks::FrameSent);
  nghttp2_session_callbacks_set_on_stream_close_callback(callbacks, Http2Callbacks::StreamClosed);
  nghttp2_session_callbacks_set_send_data_callback(callbacks, Http2Callbacks::SendData);

  nghttp2_option* options = nullptr;
  nghttp2_option_new(&options);
  // Body bytes reopen the window only once they are passed on, so an upload waits for a
  // handler that is behind instead of piling up in memory.
  nghttp2_option_set_no_auto_window_update(options, 1);
  nghttp2_option_set_stream_reset_rate_limit(options, kResetBurst, kResetsPerSecond);
  nghttp2_session_server_new2(&session_, callbacks, this, options);
  nghttp2_option_del(options);
  nghttp2_session_callbacks_del(callbacks);

  const nghttp2_settings_entry settings[] = {
      {NGHTTP2_SETTINGS_MAX_CONCURRENT_STREAMS, kMaxConcurrentStreams},
      {NGHTTP2_SETTINGS_INITIAL_WINDOW_SIZE, static_cast<uint32_t>(kStreamWindowBytes)},
      {NGHTTP2_SETTINGS_MAX_HEADER_LIST_SIZE, static_cast<uint32_t>(kMaxHeaderBlockBytes)},
  };
  nghttp2_submit_settings(session_, NGHTTP2_FLAG_NONE, settings, std::size(settings));
  nghttp2_session_set_local_window_size(session_, NGHTTP2_FLAG_NONE, 0, kConnectionWindowBytes);
  control_window_start_ms_ = env_.now_ms();
}

Http2Session::~Http2Session() {
  Abandon();
  nghttp2_session_del(session_);
}

void Http2Session::Abandon() {
  mailbox_->Close();
  for (auto& [id, stream] : streams_) {
    stream->responder->Detach();
    if (!stream->answered) env_.unanswered(*stream->responder);
    if (stream->body_stream != nullptr) stream->body_stream->Abandon();
    env_.release(stream->reserved);
    env_.release_answer(stream->answer_reserved);
    stream->reserved = stream->answer_reserved = 0;
    stream->body_stream.reset();
  }
  streams_.clear();
  failed_ = true;
  abandoned_ = true;
}

bool Http2Session::Receive(std::string_view bytes) {
  if (failed_) return false;
  // Handlers answer much from memory while they are offered the request; those answers are
  // taken below, without a wake of the loop.
  mailbox_->HoldWakes(true);
  ssize_t used = nghttp2_session_mem_recv(session_, reinterpret_cast<const uint8_t*>(bytes.data()),
                                          bytes.size());
  mailbox_->HoldWakes(false);
  if (used < 0) {
    // A flood or a broken frame: the client is told why, if it still reads.
    nghttp2_session_terminate_session(
        session_, used == NGHTTP2_ERR_FLOODED || used == NGHTTP2_ERR_CALLBACK_FAILURE
                      ? NGHTTP2_ENHANCE_YOUR_CALM
                      : NGHTTP2_PROTOCOL_ERROR);
    failed_ = true;
    return false;
  }
  TakeAnswers();
  return true;
}

bool Http2Session::Finished() const {
  return failed_ || (nghttp2_session_want_read(session_) == 0 &&
                     nghttp2_session_want_write(session_) == 0 && output_sent_ == output_.size());
}

std::string_view Http2Session::Output() {
  // The streams are gone, and with them what the answers' bodies are read from.
  if (abandoned_) return {};
  if (output_sent_ == output_.size()) {
    // A connection that waits for its next request keeps no room for answers.
    if (streams_.empty()) {
      std::string().swap(output_);
    } else {
      output_.clear();
    }
    output_sent_ = 0;
  }
  while (output_.size() - output_sent_ < kOutputChunkBytes) {
    const uint8_t* data = nullptr;
    ssize_t count = nghttp2_session_mem_send(session_, &data);
    if (count <= 0) break;
    output_.append(reinterpret_cast<const char*>(data), static_cast<size_t>(count));
  }
  return std::string_view(output_).substr(output_sent_);
}

void Http2Session::Sent(size_t count) {
  output_sent_ += count;
}

bool Http2Session::AppendData(Http2Stream& stream, size_t padding, std::string_view frame_head,
                              size_t length) {
  const size_t before = output_.size();
  output_.append(frame_head);
  if (padding > 0) output_.push_back(static_cast<char>(padding - 1));
  const Response& answer = stream.answer;
  if (answer.file() != nullptr) {
    output_.resize(before + frame_head.size() + (padding > 0 ? 1 : 0) + length);
    long read = answer.file()->ReadAt(stream.body_sent, &output_[output_.size() - length], length);
    if (read < 0 || static_cast<size_t>(read) != length) {
      output_.resize(before);
      return false;
    }
  } else if (answer.shared_body() != nullptr) {
    output_.append(reinterpret_cast<const char*>(answer.shared_body()->data()) + stream.body_sent,
                   length);
  } else {
    output_.append(answer.body_bytes().substr(stream.body_sent, length));
  }
  if (padding > 1) output_.append(padding - 1, '\0');
  stream.body_sent += length;
  return true;
}

Http2Stream* Http2Session::StreamOf(int32_t stream_id) {
  auto found = streams_.find(stream_id);
  return found == streams_.end() ? nullptr : found->second.get();
}

bool Http2Session::CountControlFrame() {
  int64_t now = env_.now_ms();
  if (now - control_window_start_ms_ >= 1000) {
    control_window_start_ms_ = now;
    control_frames_ = 0;
  }
  return ++control_frames_ <= kMaxControlFramesPerSecond;
}

void Http2Session::BeginRequest(int32_t stream_id) {
  auto stream = std::make_unique<Http2Stream>();
  stream->id = stream_id;
  stream->responder = std::make_shared<CHttp2Responder>(mailbox_, stream_id, env_.peer_address);
  streams_[stream_id] = std::move(stream);
}

bool Http2Session::AddHeader(Http2Stream& stream, std::string_view name, std::string_view value) {
  stream.header_list_bytes += name.size() + value.size() + kHeaderFieldOverhead;
  if (stream.header_list_bytes > kMaxHeaderBlockBytes) return false;
  if (name == ":method") {
    stream.method = value;
  } else if (name == ":path") {
    stream.path = value;
  } else if (name == ":authority") {
    stream.authority = value;
  } else if (name == "cookie") {
    // HTTP/2 may split the cookie line into one field per cookie; handlers read one line.
    if (!stream.cookies.empty()) stream.cookies.append("; ");
    stream.cookies.append(value);
  } else if (!name.empty() && name[0] != ':') {
    if (name == "host") stream.has_host = true;
    if (name == "content-length") {
      std::from_chars(value.data(), value.data() + value.size(), stream.declared_length);
    }
    stream.header_lines.append(name).append(": ").append(value).append("\r\n");
  }
  return true;
}

void Http2Session::EndHeaders(int32_t stream_id) {
  Http2Stream* stream = StreamOf(stream_id);
  if (stream == nullptr) return;
  if (stream->header_list_bytes > kMaxHeaderBlockBytes) {
    Refuse(*stream, "431 Request Header Fields Too Large");
    return;
  }
  // The request in the form every handler reads: its target is the stream's :path, so the
  // Digest check compares its `uri` with that.
  std::string& head = stream->head;
  head.append(stream->method).append(" ").append(stream->path).append(" HTTP/1.1\r\n");
  if (!stream->has_host && !stream->authority.empty()) {
    head.append("Host: ").append(stream->authority).append("\r\n");
  }
  head.append(stream->header_lines);
  if (!stream->cookies.empty()) head.append("cookie: ").append(stream->cookies).append("\r\n");
  head.append("\r\n");
  std::string().swap(stream->header_lines);
  std::string().swap(stream->cookies);
}

void Http2Session::Refuse(Http2Stream& stream, std::string_view status) {
  stream.refused = true;
  Response answer(status);
  answer.AddHeader("Content-Length", "0");
  Submit(stream.id, true, std::move(answer));
}

void Http2Session::ReceiveData(int32_t stream_id, std::string_view bytes) {
  Http2Stream* stream = StreamOf(stream_id);
  if (stream == nullptr || stream->refused || stream->answered) {
    nghttp2_session_consume(session_, stream_id, bytes.size());
    return;
  }
  stream->body_received += bytes.size();
  if (!stream->body_decided) {
    stream->body_decided = true;
    CStreamRouter::BodyStreamOpener open =
        env_.router->OpenBodyStream(stream->head, stream->responder);
    if (open) {
      stream->body_stream = open();
      if (stream->body_stream == nullptr) {
        // Answered from the header block (refused): nothing of the body is read.
        stream->refused = true;
        nghttp2_session_consume(session_, stream_id, bytes.size());
        return;
      }
      // A stream never holds more than its window, nor more than the whole body.
      size_t budget = std::min(kBodyStreamBudget, stream->declared_length);
      if (!env_.reserve(budget)) {
        stream->body_stream->Abandon();
        stream->body_stream.reset();
        nghttp2_session_consume(session_, stream_id, bytes.size());
        Refuse(*stream, "503 Service Unavailable");
        return;
      }
      stream->reserved = budget;
    }
  }
  if (stream->body_received > kMaxRequestBodyBytes) {
    nghttp2_session_consume(session_, stream_id, bytes.size());
    if (stream->body_stream != nullptr) stream->body_stream->Abandon();
    stream->body_stream.reset();
    Refuse(*stream, "413 Payload Too Large");
    return;
  }
  if (stream->body_stream != nullptr) {
    // The connection's window reopens at once, the stream's only once the handler keeps up.
    nghttp2_session_consume_connection(session_, bytes.size());
    stream->body_stream->Append(std::string(bytes));
    if (stream->held_bytes > 0 || stream->body_stream->Full()) {
      stream->held_bytes += bytes.size();
    } else {
      nghttp2_session_consume_stream(session_, stream_id, bytes.size());
    }
    return;
  }
  // A body routed with its request is collected whole, within the requests' common budget.
  if (!env_.reserve(bytes.size())) {
    nghttp2_session_consume(session_, stream_id, bytes.size());
    Refuse(*stream, "503 Service Unavailable");
    return;
  }
  stream->reserved += bytes.size();
  stream->body.append(bytes);
  nghttp2_session_consume(session_, stream_id, bytes.size());
}

void Http2Session::EndRequest(int32_t stream_id) {
  Http2Stream* stream = StreamOf(stream_id);
  if (stream == nullptr) return;
  stream->request_complete = true;
  if (stream->refused || stream->answered) return;
  if (stream->body_stream != nullptr) {
    stream->body_stream->Finish();
    stream->body_stream.reset();
    return;
  }
  Route(*stream);
}

void Http2Session::Route(Http2Stream& stream) {
  std::string request = std::move(stream.head);
  request.append(stream.body);
  std::string().swap(stream.body);
  env_.release(stream.reserved);
  stream.reserved = 0;
  if (!env_.router->HandleRequest(request, stream.responder)) {
    // No handler took it now; it is offered again at the next poll.
    stream.head = std::move(request);
    stream.awaiting_route = true;
    return;
  }
  stream.awaiting_route = false;
}

void Http2Session::ResumeBody(Http2Stream& stream) {
  if (stream.held_bytes == 0 || stream.body_stream == nullptr || stream.body_stream->Full()) return;
  nghttp2_session_consume_stream(session_, stream.id, stream.held_bytes);
  stream.held_bytes = 0;
}

bool Http2Session::Poll() {
  if (failed_) return false;
  bool busy = TakeAnswers();
  for (auto& [id, stream] : streams_) {
    const size_t held = stream->held_bytes;
    ResumeBody(*stream);
    if (stream->held_bytes != held) busy = true;
    if (stream->awaiting_route) {
      Route(*stream);
      busy = true;
    }
  }
  return busy;
}

bool Http2Session::TakeAnswers() {
  mailbox_->Take(&taken_);
  for (CHttp2Mailbox::Posted& answer : taken_) {
    Submit(answer.stream_id, answer.final, std::move(answer.response));
  }
  const bool any = !taken_.empty();
  taken_.clear();
  return any;
}

void Http2Session::Submit(int32_t stream_id, bool final, Response response) {
  Http2Stream* stream = StreamOf(stream_id);
  if (stream == nullptr || stream->answered) return;
  if (!final) {
    SubmitHeaders(stream_id, response, false);
    return;
  }
  stream->answered = true;
  stream->answer = std::move(response);
  stream->body_sent = stream->body_framed = 0;
  // A body sent from its file holds no memory; one in memory waits within the budget.
  size_t held = stream->answer.file() != nullptr ? 0 : stream->answer.body_size();
  if (held > 0 && !env_.reserve_answer(held)) {
    stream->answer = Response("503 Service Unavailable");
    stream->answer.AddHeader("Content-Length", "0");
    held = 0;
  }
  stream->answer_reserved = held;
  // An answer before the body's end refuses the rest of it.
  if (stream->body_stream != nullptr) {
    stream->body_stream->Abandon();
    stream->body_stream.reset();
  }
  SubmitHeaders(stream_id, stream->answer,
                stream->answer.body_size() > 0 && stream->method != "HEAD");
}

void Http2Session::SubmitHeaders(int32_t stream_id, const Response& response, bool with_body) {
  // The names lower-cased, the connection's own dropped; nghttp2 copies names and values, so
  // the room for them is kept from one answer to the next.
  thread_local std::string names;
  thread_local std::vector<nghttp2_nv> fields;
  size_t names_size = 0;
  for (size_t i = 0; i < response.header_count(); ++i) names_size += response.header_name(i).size();
  names.clear();
  names.reserve(names_size);  // the fields point into it
  fields.clear();
  fields.push_back(Field(":status", response.status().substr(0, 3)));
  for (size_t i = 0; i < response.header_count(); ++i) {
    const std::string_view original = response.header_name(i);
    const size_t begin = names.size();
    for (char c : original) names.push_back(platform::AsciiToLower(c));
    const std::string_view name = std::string_view(names).substr(begin);
    if (IsConnectionHeader(name)) {
      names.resize(begin);
      continue;
    }
    fields.push_back(Field(name, response.header_value(i)));
  }
  if (response.interim()) {
    nghttp2_submit_headers(session_, NGHTTP2_FLAG_NONE, stream_id, nullptr, fields.data(),
                           fields.size(), nullptr);
    return;
  }
  nghttp2_data_provider body{};
  body.source.ptr = StreamOf(stream_id);
  body.read_callback = Http2Callbacks::ReadBody;
  nghttp2_submit_response(session_, stream_id, fields.data(), fields.size(),
                          with_body ? &body : nullptr);
}

void Http2Session::CloseStream(int32_t stream_id) {
  auto found = streams_.find(stream_id);
  if (found == streams_.end()) return;
  Http2Stream& stream = *found->second;
  stream.responder->Detach();
  if (!stream.answered) env_.unanswered(*stream.responder);
  if (stream.body_stream != nullptr) stream.body_stream->Abandon();
  env_.release(stream.reserved);
  env_.release_answer(stream.answer_reserved);
  streams_.erase(found);
}
