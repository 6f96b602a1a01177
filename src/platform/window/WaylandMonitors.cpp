// The compositor's outputs: see Wayland.h and Monitors.h.
#include <wayland-client.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/window/Wayland.h"
#include "xdg-output-unstable-v1-client-protocol.h"

namespace window_internal {

namespace {
bool QuarterTurned(int transform) { return transform % 2 == 1; }  // 90 and 270, flipped or not
}  // namespace

void OutputPixels(const WaylandOutputState& o, int* width, int* height) {
  *width = QuarterTurned(o.transform) ? o.modeHeight : o.modeWidth;
  *height = QuarterTurned(o.transform) ? o.modeWidth : o.modeHeight;
}

MonitorRect LogicalRect(const WaylandOutputState& o) {
  if (o.hasLogical) return o.logical;
  // Without xdg-output the whole-number scale is all there is to go by.
  int width = 0, height = 0;
  OutputPixels(o, &width, &height);
  const int scale = std::max(o.scale, 1);
  return MonitorRect{o.x, o.y, width / scale, height / scale};
}

void WindowPixels(int logicalWidth, int logicalHeight, const MonitorRect& monitor, int pixelWidth, int pixelHeight,
                  int* width, int* height) {
  if (monitor.width <= 0 || monitor.height <= 0) {
    *width = logicalWidth;
    *height = logicalHeight;
    return;
  }
  *width = static_cast<int>(std::lround(static_cast<double>(logicalWidth) * pixelWidth / monitor.width));
  *height = static_cast<int>(std::lround(static_cast<double>(logicalHeight) * pixelHeight / monitor.height));
  *width = std::max(*width, 1);
  *height = std::max(*height, 1);
}

PixelRect OnScreen(const Letterbox& box, int left, int top, int right, int bottom) {
  PixelRect r{left, top, right, bottom};
  box.ToScreen(&r.left, &r.top);
  box.ToScreen(&r.right, &r.bottom);
  // ToScreen rounds down, so the pixel that starts a picture pixel may lie one further on.
  r.right = std::min(r.right + 1, box.left + box.width);
  r.bottom = std::min(r.bottom + 1, box.top + box.height);
  return r;
}

void EndIfWaylandLost(wl_display* display) {
  if (!display || wl_display_get_error(display) == 0) return;
  const char* name = std::getenv("WAYLAND_DISPLAY");
  std::fprintf(stderr, "pellora: the connection to the Wayland display %s was lost; ending.\n",
               name && *name ? name : "wayland-0");
  std::_Exit(1);
}

namespace {

// One output as its two objects report it.
struct Output {
  uint32_t name = 0;
  wl_output* output = nullptr;
  zxdg_output_v1* xdg = nullptr;
  WaylandOutputState state;
};

class WaylandMonitors : public MonitorList {
 public:
  static std::unique_ptr<MonitorList> Make() {
    wl_display* display = wl_display_connect(nullptr);
    if (!display) return nullptr;
    auto list = std::unique_ptr<WaylandMonitors>(new WaylandMonitors(display));
    list->registry_ = wl_display_get_registry(display);
    wl_registry_add_listener(list->registry_, &kRegistry, list.get());
    // The globals, then the outputs' own events, then xdg-output's answers.
    for (int i = 0; i < 3; ++i) wl_display_roundtrip(display);
    return list;
  }

  ~WaylandMonitors() override {
    for (auto& o : outputs_) Release(*o);
    if (manager_) zxdg_output_manager_v1_destroy(manager_);
    if (registry_) wl_registry_destroy(registry_);
    wl_display_disconnect(display_);
  }

  std::vector<MonitorRect> List() override {
    // Outputs come and go between runs of a mode: what has changed since is read now.
    if (wl_display_roundtrip(display_) < 0) return {};
    BindLateXdgOutputs();
    std::vector<MonitorRect> out;
    for (const auto& o : outputs_) {
      const MonitorRect r = LogicalRect(o->state);
      if (r.width > 0 && r.height > 0) out.push_back(r);
    }
    return out;
  }

  void Pixels(const MonitorRect& m, int* width, int* height) override {
    for (const auto& o : outputs_) {
      if (LogicalRect(o->state) == m) {
        OutputPixels(o->state, width, height);
        if (*width > 0 && *height > 0) return;
      }
    }
    MonitorList::Pixels(m, width, height);
  }

 private:
  explicit WaylandMonitors(wl_display* display) : display_(display) {}

  static void Release(Output& o) {
    if (o.xdg) zxdg_output_v1_destroy(o.xdg);
    if (o.output) {
      if (wl_proxy_get_version(reinterpret_cast<wl_proxy*>(o.output)) >= WL_OUTPUT_RELEASE_SINCE_VERSION) {
        wl_output_release(o.output);
      } else {
        wl_output_destroy(o.output);
      }
    }
  }

  // An output announced after xdg-output's manager was bound still needs its logical place;
  // so does every output when the manager came last in the registry.
  void BindLateXdgOutputs() {
    if (!manager_) return;
    bool asked = false;
    for (auto& o : outputs_) {
      if (o->xdg) continue;
      o->xdg = zxdg_output_manager_v1_get_xdg_output(manager_, o->output);
      zxdg_output_v1_add_listener(o->xdg, &kXdgOutput, o.get());
      asked = true;
    }
    if (asked) wl_display_roundtrip(display_);
  }

  static void Global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
    auto* self = static_cast<WaylandMonitors*>(data);
    if (std::strcmp(interface, wl_output_interface.name) == 0 && version >= 2) {
      // Outputs keep their place in the list, which is the compositor's order.
      self->outputs_.push_back(std::make_unique<Output>());
      Output& o = *self->outputs_.back();
      o.name = name;
      o.output = static_cast<wl_output*>(
          wl_registry_bind(registry, name, &wl_output_interface, std::min<uint32_t>(version, 3)));
      wl_output_add_listener(o.output, &kOutput, &o.state);
      self->BindLateXdgOutputs();
    } else if (std::strcmp(interface, zxdg_output_manager_v1_interface.name) == 0 && version >= 2) {
      self->manager_ = static_cast<zxdg_output_manager_v1*>(
          wl_registry_bind(registry, name, &zxdg_output_manager_v1_interface, 2));
    }
  }

  static void GlobalRemove(void* data, wl_registry*, uint32_t name) {
    auto* self = static_cast<WaylandMonitors*>(data);
    auto& outputs = self->outputs_;
    for (auto it = outputs.begin(); it != outputs.end(); ++it) {
      if ((*it)->name != name) continue;
      Release(**it);
      outputs.erase(it);
      return;
    }
  }

  static void Geometry(void* data, wl_output*, int32_t x, int32_t y, int32_t, int32_t, int32_t, const char*,
                       const char*, int32_t transform) {
    auto* s = static_cast<WaylandOutputState*>(data);
    s->x = x;
    s->y = y;
    s->transform = transform;
  }
  static void Mode(void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
    if (!(flags & WL_OUTPUT_MODE_CURRENT)) return;
    auto* s = static_cast<WaylandOutputState*>(data);
    s->modeWidth = width;
    s->modeHeight = height;
  }
  static void Done(void*, wl_output*) {}
  static void Scale(void* data, wl_output*, int32_t factor) { static_cast<WaylandOutputState*>(data)->scale = factor; }

  static void LogicalPosition(void* data, zxdg_output_v1*, int32_t x, int32_t y) {
    auto* o = static_cast<Output*>(data);
    o->state.logical.x = x;
    o->state.logical.y = y;
  }
  static void LogicalSize(void* data, zxdg_output_v1*, int32_t width, int32_t height) {
    auto* o = static_cast<Output*>(data);
    o->state.logical.width = width;
    o->state.logical.height = height;
    o->state.hasLogical = width > 0 && height > 0;
  }
  static void XdgDone(void*, zxdg_output_v1*) {}
  static void XdgName(void*, zxdg_output_v1*, const char*) {}
  static void XdgDescription(void*, zxdg_output_v1*, const char*) {}

  static constexpr wl_registry_listener kRegistry{Global, GlobalRemove};
  static constexpr wl_output_listener kOutput{Geometry, Mode, Done, Scale, nullptr, nullptr};  // bound at most at 3
  static constexpr zxdg_output_v1_listener kXdgOutput{LogicalPosition, LogicalSize, XdgDone, XdgName, XdgDescription};

  wl_display* display_ = nullptr;
  wl_registry* registry_ = nullptr;
  zxdg_output_manager_v1* manager_ = nullptr;
  std::vector<std::unique_ptr<Output>> outputs_;  // each at a fixed address, which its listeners hold
};

}  // namespace

std::unique_ptr<MonitorList> MakeWaylandMonitors() { return WaylandMonitors::Make(); }

}  // namespace window_internal
