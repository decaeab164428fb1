// The IVSI controller: options, installation, the per-frame step and teardown. The face itself (dial,
// traffic, composition) is drawn by the display object, which this controller builds and paces.
#include "module/display/ivsi_gauge.h"

#include <new>

#include "module/display/display.h"
#include "module/gauge/gauge.h"
#include "module/probe/probe.h"

namespace kvr {

namespace {

IvsiGauge* ControllerOf(GaugeHeader* gauge) { return static_cast<IvsiGauge*>(gauge->gaugeState); }

ElementHeader* FirstChild(ElementHeader* element) {
  return element != nullptr && element->children != nullptr ? element->children[0] : nullptr;
}

ElementHeader* RootElement(GaugeHeader* gauge) {
  return gauge->elementList != nullptr ? gauge->elementList[0] : nullptr;
}

}  // namespace

IvsiOptions ParseIvsiOptions(const char* parameters) {
  IvsiOptions options;
  options.useProbe = SwitchOption(parameters, "pic", true);
  options.antiAliased = SwitchOption(parameters, "aa", true);
  options.bluePlane = SwitchOption(parameters, "blueplane", true);
  // Compositions per second asked for, turned into an interval in 18 Hz ticks rounded to the nearest;
  // 0, and anything above 36, compose every frame. The result is kept as the unsigned 16 bits it is.
  const int32_t rate = IntegerOption(parameters, "vsirate", 18);
  options.refreshTicks = rate == 0 ? 0 : static_cast<uint16_t>((rate / 2 + 18) / rate);
  const int32_t other = IntegerOption(parameters, "other", 999);
  options.normalBand = other < 0 ? 0 : other;
  options.fontScale = FloatOption(parameters, "fontscale", 1.0f);
  options.publishVariables = SwitchOption(parameters, "nv", true);
  return options;
}

void IvsiConnect(GaugeHeader* gauge) { gauge->gaugeState = new (std::nothrow) IvsiGauge; }

void IvsiDisconnect(GaugeHeader* gauge) {
  delete ControllerOf(gauge);
  gauge->gaugeState = nullptr;
}

void IvsiInstall(GaugeHeader* gauge) {
  IvsiGauge* ivsi = ControllerOf(gauge);
  ivsi->gauge = gauge;
  ivsi->options = ParseIvsiOptions(gauge->parameters);
  if (ivsi->options.useProbe) OpenProbe();
  if (ivsi->options.publishVariables) PublishSelectorVariables();

  ivsi->drawingElement = FirstChild(RootElement(gauge));
  if (ivsi->drawingElement == nullptr) return;  // the gauge stays without a display
  if (const SurfaceInfo* surface = ivsi->drawingElement->surfaceInfo) {
    ivsi->width = surface->width;
    ivsi->height = surface->height;
  }
  ivsi->lastComposeTick = 0xFC00;

  // Bound once: a Logic gauge published later is not looked for again.
  VariableRecord logic{};
  BindVariable(&logic, "KVR_TCAS!Logic");
  ivsi->logicBinding = logic.valuePointer != nullptr && logic.typeCode == kTypeObject
                           ? static_cast<TrafficSource**>(logic.valuePointer)
                           : nullptr;
}

void IvsiDrawFrame(GaugeHeader* gauge) {
  IvsiGauge* ivsi = ControllerOf(gauge);
  if (ivsi->drawingElement == nullptr) return;

  if (ivsi->options.useProbe) {
    selectors.lit = ProbeLit();
    selectors.power = ProbePowered();
    selectors.vsiFlag = ProbeVsiValid() == 0 ? 1 : 0;
  }

  // The lit overlay is the drawing element's second child.
  ElementHeader** children = ivsi->drawingElement->children;
  if (children != nullptr && children[0] != nullptr && children[1] != nullptr) {
    if (selectors.lit != 0)
      children[1]->flags &= ~kElementHidden;
    else
      children[1]->flags |= kElementHidden;
  }
  selectors.redraw = 0;
}

void IvsiTeardown(GaugeHeader* gauge) {
  IvsiGauge* ivsi = ControllerOf(gauge);
  if (ivsi->options.publishVariables) WithdrawSelectorVariables();
  if (ivsi->options.useProbe) CloseProbe();
}

}  // namespace kvr
