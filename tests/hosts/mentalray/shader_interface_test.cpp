// The shader interface's records as mental ray 3.12 lays them out on x86-64
// (Linux and Windows alike), so that a library built against either header
// runs under either host; and the host's shader records in that layout, read
// through the interface's own evaluation macros.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "mi_scene.h"
#include "render_session.h"
#include "shader.h"

namespace qv::mrhost {
namespace {

TEST(ShaderInterface, StateLayout) {
  EXPECT_EQ(sizeof(miState), 352u);
  EXPECT_EQ(offsetof(miState, parent), 56u);
  EXPECT_EQ(offsetof(miState, type), 64u);
  EXPECT_EQ(offsetof(miState, org), 96u);
  EXPECT_EQ(offsetof(miState, dir), 108u);
  EXPECT_EQ(offsetof(miState, dist), 120u);
  EXPECT_EQ(offsetof(miState, instance), 160u);
  EXPECT_EQ(offsetof(miState, pri), 168u);
  EXPECT_EQ(offsetof(miState, point), 196u);
  EXPECT_EQ(offsetof(miState, normal), 208u);
  EXPECT_EQ(offsetof(miState, shader), 312u);
  EXPECT_EQ(offsetof(miState, child), 320u);
  EXPECT_EQ(offsetof(miState, thread), 328u);
  EXPECT_EQ(sizeof(miState::thread), 2u);
  EXPECT_EQ(offsetof(miState, user), 336u);
}

TEST(ShaderInterface, FunctionLayoutAndTypes) {
  EXPECT_EQ(sizeof(miFunction), 128u);
  EXPECT_EQ(offsetof(miFunction, function_decl), 68u);
  EXPECT_EQ(offsetof(miFunction, parameter_size), 88u);
  EXPECT_EQ(offsetof(miFunction, ghost_offs), 96u);
  EXPECT_EQ(offsetof(miFunction, has_connections), 109u);
  EXPECT_EQ(offsetof(miFunction, parameters), 120u);
  EXPECT_EQ(sizeof(miCBoolean), 1u);
  EXPECT_EQ(sizeof(miUshort), 2u);
  EXPECT_EQ(sizeof(miTag), 4u);
  EXPECT_EQ(miPARAMTAG, static_cast<miTag>(-2));
  EXPECT_EQ(sizeof(miColor), 16u);
  EXPECT_EQ(sizeof(miVector), 12u);
}

// A record of the host's own layout, read through the macros shaders use.
TEST(ShaderInterface, HostRecordsAnswerTheEvaluationMacros) {
  const char* const text =
      "declare shader \"s\" ( integer \"set\", scalar \"default\" default 2, color \"fed\" )\n"
      "  version 1\nend declare\n"
      "shader \"feeder\" \"s\" ( )\n"
      "shader \"s1\" \"s\" ( \"set\" 7, \"fed\" = \"feeder\" )\n"
      "shader \"s2\" \"s\" ( \"set\" 8 )\n";
  const MiParseResult r = parseMi(text, "r.mi");
  ASSERT_TRUE(r.scene) << r.error;
  const ShaderRecord connected(r.scene->shaders[1]);
  const ShaderRecord plain(r.scene->shaders[2]);

  // The typed macros read the state from a variable named `state`.
  miState shading{};
  miState* state = &shading;
  shading.shader = connected.function();
  const miFunction& f = *connected.function();
  EXPECT_EQ(f.parameter_size, 24);
  EXPECT_EQ(f.ghost_offs, 24);
  EXPECT_EQ(f.has_connections, miTRUE);
  struct Block {
    miInteger set;
    miScalar fallback;
    miColor fed;
  };
  auto* block = reinterpret_cast<Block*>(connected.parameters());
  EXPECT_EQ(block->set, 7);
  EXPECT_EQ(block->fallback, 2.0f);
  EXPECT_TRUE(mi_is_set(state, &block->set));
  EXPECT_FALSE(mi_is_connected(state, &block->set));
  EXPECT_FALSE(mi_is_set(state, &block->fallback));
  EXPECT_FALSE(mi_is_connected(state, &block->fallback));
  EXPECT_TRUE(mi_is_set(state, &block->fed));
  EXPECT_TRUE(mi_is_connected(state, &block->fed));
  EXPECT_EQ(mi_get_ghost(state, &block->fed), 1u);  // the first connection
  // Set and default parameters are read in place without asking the host.
  EXPECT_EQ(mi_eval_integer(&block->set), &block->set);
  EXPECT_EQ(mi_eval_scalar(&block->fallback), &block->fallback);

  shading.shader = plain.function();
  EXPECT_EQ(plain.function()->has_connections, miFALSE);
  auto* other = reinterpret_cast<Block*>(plain.parameters());
  EXPECT_EQ(other->set, 8);
  EXPECT_FALSE(mi_is_connected(state, &other->fed));
  EXPECT_FALSE(mi_is_set(state, &other->fed));
}

}  // namespace
}  // namespace qv::mrhost
