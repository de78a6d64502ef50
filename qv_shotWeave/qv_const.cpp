// qv_const: a constant colour with an opacity, laid over what lies behind.
#include "exports.h"
#include "shader_records.h"

using qv::mray::ConstParams;

QV_MI_EXPORT int qv_const_version() {
  return 13;
}

QV_MI_EXPORT miBoolean qv_const(miColor* result, miState* state, ConstParams* params) {
  const miColor color = *mi_eval_color(&params->color);
  const miScalar opacity = *mi_eval_scalar(&params->opacity);
  const miBoolean alphaOverride = *mi_eval_boolean(&params->alphaOverride);
  const miScalar alphaValue = *mi_eval_scalar(&params->alphaValue);

  miColor r = {color.r, color.g, color.b, opacity};
  // What lies behind is added, not blended: a see-through constant brightens
  // the background rather than fading into it.
  miColor behind;
  if (opacity != 1.0f && mi_trace_transparent(&behind, state)) {
    const miScalar k = 1.0f - opacity;
    r = {r.r + k * behind.r, r.g + k * behind.g, r.b + k * behind.b, r.a + k * behind.a};
  }
  r.a = r.a < 0.0f ? 0.0f : (r.a > 1.0f ? 1.0f : r.a);
  *result = {r.r, r.g, r.b, alphaOverride ? alphaValue : r.a};
  return miTRUE;
}
