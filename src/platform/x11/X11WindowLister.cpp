// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/x11/X11WindowLister.h"

#include <cstdlib>
#include <cstring>

X11WindowLister::X11WindowLister(const QByteArray &display)
{
    m_connection = xcb_connect(display.isEmpty() ? nullptr : display.constData(), nullptr);
    if (xcb_connection_has_error(m_connection)) {
        xcb_disconnect(m_connection);
        m_connection = nullptr;
        return;
    }
    m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
    m_wmState = atom("WM_STATE");
    m_frameExtents = atom("_NET_FRAME_EXTENTS");
    m_gtkExtents = atom("_GTK_FRAME_EXTENTS");
}

X11WindowLister::~X11WindowLister()
{
    if (m_connection)
        xcb_disconnect(m_connection);
}

QString X11WindowLister::unavailableReason() const
{
    return m_connection ? QString() : QStringLiteral("Le serveur X n'a pas pu être joint.");
}

xcb_atom_t X11WindowLister::atom(const char *name)
{
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
        m_connection, xcb_intern_atom(m_connection, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t value = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return value;
}

std::optional<std::array<int, 4>> X11WindowLister::extents(xcb_window_t window, xcb_atom_t property)
{
    if (property == XCB_ATOM_NONE)
        return std::nullopt;
    xcb_get_property_reply_t *reply = xcb_get_property_reply(
        m_connection, xcb_get_property(m_connection, 0, window, property, XCB_ATOM_CARDINAL, 0, 4), nullptr);
    std::optional<std::array<int, 4>> result;
    if (reply && reply->format == 32 && xcb_get_property_value_length(reply) == 16) {
        const auto *values = static_cast<const uint32_t *>(xcb_get_property_value(reply));
        std::array<int, 4> sides{};
        bool sane = true;
        for (int i = 0; i < 4; ++i) {
            sides[size_t(i)] = int(values[i]);
            sane = sane && values[i] < 1000; // a stray value is not trusted
        }
        if (sane)
            result = sides;
    }
    std::free(reply);
    return result;
}

xcb_window_t X11WindowLister::clientOf(xcb_window_t window, int depth)
{
    xcb_get_property_reply_t *state = xcb_get_property_reply(
        m_connection, xcb_get_property(m_connection, 0, window, m_wmState, XCB_ATOM_ANY, 0, 0), nullptr);
    const bool managed = state && state->type != XCB_ATOM_NONE;
    std::free(state);
    if (managed)
        return window;
    if (depth <= 0)
        return XCB_WINDOW_NONE;
    xcb_query_tree_reply_t *tree =
        xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, window), nullptr);
    if (!tree)
        return XCB_WINDOW_NONE;
    xcb_window_t found = XCB_WINDOW_NONE;
    const xcb_window_t *children = xcb_query_tree_children(tree);
    for (int i = xcb_query_tree_children_length(tree) - 1; i >= 0 && found == XCB_WINDOW_NONE; --i)
        found = clientOf(children[i], depth - 1);
    std::free(tree);
    return found;
}

std::optional<QRect> X11WindowLister::rootRect(xcb_window_t window)
{
    xcb_get_geometry_reply_t *geometry =
        xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, window), nullptr);
    if (!geometry)
        return std::nullopt;
    const QSize size(geometry->width + 2 * geometry->border_width,
                     geometry->height + 2 * geometry->border_width);
    std::free(geometry);
    xcb_translate_coordinates_reply_t *place = xcb_translate_coordinates_reply(
        m_connection, xcb_translate_coordinates(m_connection, window, m_root, 0, 0), nullptr);
    if (!place)
        return std::nullopt;
    const QRect rect(QPoint(place->dst_x, place->dst_y), size);
    std::free(place);
    return rect;
}

QList<QRect> X11WindowLister::windows()
{
    QList<QRect> list;
    if (!m_connection || xcb_connection_has_error(m_connection))
        return list;
    xcb_query_tree_reply_t *tree =
        xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, m_root), nullptr);
    if (!tree)
        return list;
    const xcb_window_t *children = xcb_query_tree_children(tree);
    // The tree lists the children bottom first.
    for (int i = xcb_query_tree_children_length(tree) - 1; i >= 0; --i) {
        const xcb_window_t child = children[i];
        xcb_get_window_attributes_reply_t *attributes = xcb_get_window_attributes_reply(
            m_connection, xcb_get_window_attributes(m_connection, child), nullptr);
        const bool shown = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE &&
                           !attributes->override_redirect &&
                           attributes->_class == XCB_WINDOW_CLASS_INPUT_OUTPUT;
        std::free(attributes);
        if (!shown)
            continue;
        std::optional<QRect> rect;
        const xcb_window_t client = clientOf(child, 3);
        if (client != XCB_WINDOW_NONE) {
            rect = rootRect(client);
            if (rect) {
                if (const auto shadow = extents(client, m_gtkExtents))
                    *rect = rect->adjusted((*shadow)[0], (*shadow)[2], -(*shadow)[1], -(*shadow)[3]);
                if (const auto frame = extents(client, m_frameExtents))
                    *rect = rect->adjusted(-(*frame)[0], -(*frame)[2], (*frame)[1], (*frame)[3]);
            }
        } else if ((rect = rootRect(child))) {
            if (const auto shadow = extents(child, m_gtkExtents))
                *rect = rect->adjusted((*shadow)[0], (*shadow)[2], -(*shadow)[1], -(*shadow)[3]);
        }
        if (rect && rect->width() > 1 && rect->height() > 1)
            list << *rect;
    }
    std::free(tree);
    return list;
}
