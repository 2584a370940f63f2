// Asks a top-level window, as a desktop does, whether its program is alive:
// sends it _NET_WM_PING and waits for the answer on the root window.
//
//   wm_ping watch TITLE S    pings every 50 ms for S seconds from the window's
//                            appearance (or until it is gone); prints the
//                            longest a ping went unanswered:
//                            "longest_unanswered_ms=N"
//   wm_ping check TITLE      one ping, which must be answered within 1 s;
//                            then the window's picture must be painted (mostly
//                            light, with dark text) rather than left black
//
// Exit code 0 when the window was found (and, for check, answered and painted).
#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

xcb_connection_t *Conn = nullptr;
xcb_window_t Root = 0;

template <class T> std::unique_ptr<T, decltype(&std::free)> Owned(T *p) {
  return {p, &std::free};
}

xcb_atom_t Atom(const char *name) {
  auto reply = Owned(xcb_intern_atom_reply(
      Conn, xcb_intern_atom(Conn, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
      nullptr));
  return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

std::string TextProperty(xcb_window_t w, xcb_atom_t property) {
  auto reply = Owned(xcb_get_property_reply(
      Conn, xcb_get_property(Conn, 0, w, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 256), nullptr));
  if (!reply || reply->format != 8)
    return "";
  return std::string(static_cast<const char *>(xcb_get_property_value(reply.get())),
                     static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
}

bool Viewable(xcb_window_t w) {
  auto attrs =
      Owned(xcb_get_window_attributes_reply(Conn, xcb_get_window_attributes(Conn, w), nullptr));
  return attrs && attrs->map_state == XCB_MAP_STATE_VIEWABLE;
}

// The client window titled `title`, below a window manager's frame or not.
xcb_window_t Find(xcb_window_t under, const std::string &title, xcb_atom_t netWmName) {
  auto tree = Owned(xcb_query_tree_reply(Conn, xcb_query_tree(Conn, under), nullptr));
  if (!tree)
    return 0;
  const xcb_window_t *children = xcb_query_tree_children(tree.get());
  for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
    const xcb_window_t w = children[i];
    if ((TextProperty(w, netWmName) == title || TextProperty(w, XCB_ATOM_WM_NAME) == title) &&
        Viewable(w))
      return w;
    if (const xcb_window_t found = Find(w, title, netWmName))
      return found;
  }
  return 0;
}

xcb_window_t AwaitWindow(const std::string &title, int seconds) {
  const xcb_atom_t netWmName = Atom("_NET_WM_NAME");
  const auto end = Clock::now() + std::chrono::seconds(seconds);
  while (Clock::now() < end) {
    if (const xcb_window_t w = Find(Root, title, netWmName))
      return w;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return 0;
}

struct Pinger {
  xcb_window_t Window;
  xcb_atom_t Protocols = Atom("WM_PROTOCOLS");
  xcb_atom_t Ping = Atom("_NET_WM_PING");

  void Send(std::uint32_t stamp) const {
    xcb_client_message_event_t e{};
    e.response_type = XCB_CLIENT_MESSAGE;
    e.format = 32;
    e.window = Window;
    e.type = Protocols;
    e.data.data32[0] = Ping;
    e.data.data32[1] = stamp;
    e.data.data32[2] = Window;
    xcb_send_event(Conn, 0, Window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&e));
    xcb_flush(Conn);
  }
  // The stamp of an answer that has come, or 0.
  std::uint32_t Answer() const {
    while (auto event = Owned(xcb_poll_for_event(Conn))) {
      if ((event->response_type & 0x7F) != XCB_CLIENT_MESSAGE)
        continue;
      const auto *m = reinterpret_cast<const xcb_client_message_event_t *>(event.get());
      if (m->window == Root && m->data.data32[0] == Ping && m->data.data32[2] == Window)
        return m->data.data32[1];
    }
    return 0;
  }
};

long Ms(Clock::duration d) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
}

int Watch(const Pinger &p, int seconds) {
  // Pings outstanding by stamp; a ping answers all earlier ones too.
  std::vector<Clock::time_point> sent;
  std::size_t answered = 0;
  long longest = 0;
  auto next = Clock::now();
  const auto end = next + std::chrono::seconds(seconds);
  while (Clock::now() < end && Viewable(p.Window)) {
    if (Clock::now() >= next) {
      sent.push_back(Clock::now());
      p.Send(static_cast<std::uint32_t>(sent.size()));
      next += std::chrono::milliseconds(50);
    }
    if (const std::uint32_t stamp = p.Answer(); stamp > answered) {
      for (; answered < stamp; ++answered)
        longest = std::max(longest, Ms(Clock::now() - sent[answered]));
    }
    if (answered < sent.size())
      longest = std::max(longest, Ms(Clock::now() - sent[answered]));
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  std::printf("pings=%zu answered=%zu longest_unanswered_ms=%ld\n", sent.size(), answered, longest);
  return 0;
}

// Painted: the dialog face covers most of the window and its labels put dark
// text on it; a window left unpainted is black.
bool Painted(xcb_window_t w) {
  auto geometry = Owned(xcb_get_geometry_reply(Conn, xcb_get_geometry(Conn, w), nullptr));
  if (!geometry)
    return false;
  auto image = Owned(xcb_get_image_reply(Conn,
                                         xcb_get_image(Conn, XCB_IMAGE_FORMAT_Z_PIXMAP, w, 0, 0,
                                                       geometry->width, geometry->height, ~0u),
                                         nullptr));
  if (!image || image->depth != 24)
    return false;
  const auto *px = reinterpret_cast<const std::uint32_t *>(xcb_get_image_data(image.get()));
  const std::size_t n = static_cast<std::size_t>(xcb_get_image_data_length(image.get())) / 4;
  std::size_t light = 0, dark = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned sum = ((px[i] >> 16) & 0xFF) + ((px[i] >> 8) & 0xFF) + (px[i] & 0xFF);
    light += sum >= 3 * 0xC0;
    dark += sum <= 3 * 0x40;
  }
  std::printf("pixels=%zu light=%zu dark=%zu\n", n, light, dark);
  return light * 2 > n && dark >= 30;
}

int Check(const Pinger &p) {
  const auto start = Clock::now();
  p.Send(1);
  bool answered = false;
  while (!(answered = p.Answer() == 1) && Clock::now() - start < std::chrono::seconds(1))
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  if (answered)
    std::printf("answered in %ld ms\n", Ms(Clock::now() - start));
  else
    std::printf("no answer to the ping within 1 s\n");
  const bool painted = Painted(p.Window);
  return answered && painted ? 0 : 1;
}

} // namespace

int main(int argc, char **argv) {
  const bool watch = argc == 4 && std::strcmp(argv[1], "watch") == 0;
  if (!watch && (argc != 3 || std::strcmp(argv[1], "check") != 0)) {
    std::fprintf(stderr, "usage: wm_ping watch TITLE SECONDS | check TITLE\n");
    return 2;
  }
  Conn = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(Conn)) {
    std::fprintf(stderr, "wm_ping: no display\n");
    return 2;
  }
  Root = xcb_setup_roots_iterator(xcb_get_setup(Conn)).data->root;
  // Answers go to the root window, to whoever selected its substructure.
  const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
  xcb_change_window_attributes(Conn, Root, XCB_CW_EVENT_MASK, &mask);
  const xcb_window_t window = AwaitWindow(argv[2], 30);
  if (window == 0) {
    std::printf("no window \"%s\"\n", argv[2]);
    return 1;
  }
  const Pinger pinger{window};
  const int rc = watch ? Watch(pinger, std::atoi(argv[3])) : Check(pinger);
  xcb_disconnect(Conn);
  return rc;
}
