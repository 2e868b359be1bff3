#include "reader/reader_windows.h"

#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>

#include <QGuiApplication>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

struct FreeReply {
  void operator()(void* reply) const { std::free(reply); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeReply>;

xcb_atom_t Atom(xcb_connection_t* connection, const char* name) {
  const Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
      connection, xcb_intern_atom(connection, 1, static_cast<uint16_t>(std::strlen(name)), name),
      nullptr));
  return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

// The value of a window property; empty when the window has none.
QByteArray Property(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property,
                    xcb_atom_t type) {
  const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
      connection, xcb_get_property(connection, 0, window, property, type, 0, 4096), nullptr));
  if (!reply) return {};
  return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
                    xcb_get_property_value_length(reply.get()));
}

// The managed top-level windows when a window manager lists them, else the root's children.
std::vector<xcb_window_t> TopLevelWindows(xcb_connection_t* connection, xcb_window_t root) {
  const QByteArray listed =
      Property(connection, root, Atom(connection, "_NET_CLIENT_LIST"), XCB_ATOM_WINDOW);
  std::vector<xcb_window_t> windows(static_cast<std::size_t>(listed.size()) / sizeof(xcb_window_t));
  if (!windows.empty()) {
    std::memcpy(windows.data(), listed.constData(), windows.size() * sizeof(xcb_window_t));
    return windows;
  }
  const Reply<xcb_query_tree_reply_t> tree(
      xcb_query_tree_reply(connection, xcb_query_tree(connection, root), nullptr));
  if (!tree) return {};
  const xcb_window_t* children = xcb_query_tree_children(tree.get());
  return {children, children + xcb_query_tree_children_length(tree.get())};
}

QString Title(xcb_connection_t* connection, xcb_window_t window) {
  const QByteArray name = Property(connection, window, Atom(connection, "_NET_WM_NAME"),
                                   Atom(connection, "UTF8_STRING"));
  if (!name.isEmpty()) return QString::fromUtf8(name);
  return QString::fromLatin1(Property(connection, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING));
}

}  // namespace

std::vector<WId> FindProcessWindows(long pid, const QString& title) {
  const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  if (x11 == nullptr || pid <= 0) return {};
  xcb_connection_t* connection = x11->connection();
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
  const xcb_atom_t pidAtom = Atom(connection, "_NET_WM_PID");
  std::vector<WId> found;
  for (const xcb_window_t window : TopLevelWindows(connection, root)) {
    const QByteArray owner = Property(connection, window, pidAtom, XCB_ATOM_CARDINAL);
    if (owner.size() != sizeof(uint32_t)) continue;
    uint32_t ownerPid = 0;
    std::memcpy(&ownerPid, owner.constData(), sizeof ownerPid);
    if (static_cast<long>(ownerPid) == pid &&
        Title(connection, window).compare(title, Qt::CaseInsensitive) == 0)
      found.push_back(window);
  }
  return found;
}
