// The Vulkan half of the shader runner: one instance and device per Device,
// and per run the buffers, images, layouts, pipeline and command buffer of
// one draw.
#include "shader_runner.h"

#include <algorithm>
#include <cstring>
#include <utility>

#if QV_HAVE_VULKAN
#include <vulkan/vulkan.h>
#if defined(__linux__)
#include <dlfcn.h>
#endif
#endif

namespace qv::gpu {

#if !QV_HAVE_VULKAN

struct Device::Impl {
  std::string name;
};

std::unique_ptr<Device> Device::create(std::string* why) {
  if (why) *why = "built without Vulkan: no Vulkan loader and headers were found at configure time";
  return nullptr;
}

bool Device::anisotropy() const {
  return false;
}

bool Device::run(const Job&, std::vector<float>*, std::string* error) {
  if (error) *error = "built without Vulkan";
  return false;
}

#else

namespace {

const char* resultName(VkResult result) {
  switch (result) {
#define QV_RESULT(r) \
  case r:            \
    return #r;
    QV_RESULT(VK_NOT_READY)
    QV_RESULT(VK_TIMEOUT)
    QV_RESULT(VK_INCOMPLETE)
    QV_RESULT(VK_ERROR_OUT_OF_HOST_MEMORY)
    QV_RESULT(VK_ERROR_OUT_OF_DEVICE_MEMORY)
    QV_RESULT(VK_ERROR_INITIALIZATION_FAILED)
    QV_RESULT(VK_ERROR_DEVICE_LOST)
    QV_RESULT(VK_ERROR_MEMORY_MAP_FAILED)
    QV_RESULT(VK_ERROR_LAYER_NOT_PRESENT)
    QV_RESULT(VK_ERROR_EXTENSION_NOT_PRESENT)
    QV_RESULT(VK_ERROR_FEATURE_NOT_PRESENT)
    QV_RESULT(VK_ERROR_INCOMPATIBLE_DRIVER)
    QV_RESULT(VK_ERROR_TOO_MANY_OBJECTS)
    QV_RESULT(VK_ERROR_FORMAT_NOT_SUPPORTED)
    QV_RESULT(VK_ERROR_INVALID_SHADER_NV)
#undef QV_RESULT
    default:
      return "an unknown VkResult";
  }
}

// Evaluates a Vulkan call; on anything but VK_SUCCESS sets *error (a
// std::string* named `error` in scope) and returns false.
#define QV_VK(call)                                                                             \
  do {                                                                                          \
    const VkResult qvResult = (call);                                                           \
    if (qvResult != VK_SUCCESS) {                                                               \
      const std::string qvCall = #call;                                                         \
      *error = qvCall.substr(0, qvCall.find('(')) + " failed: " + resultName(qvResult) + " (" + \
               std::to_string(static_cast<int>(qvResult)) + ")";                                \
      return false;                                                                             \
    }                                                                                           \
  } while (0)

// A Vulkan structure of the given type, zeroed.
template <typename T>
T make(VkStructureType type) {
  T value = {};
  value.sType = type;
  return value;
}

constexpr VkFormat kFormat = VK_FORMAT_R32G32B32A32_SFLOAT;
constexpr uint64_t kFenceTimeoutNs = 120ull * 1000 * 1000 * 1000;

// The fragments do the work, and every 2x2 quad of them must come from one
// triangle: where an edge crosses the grid, a quad is split between two
// triangles and its derivatives mix in helper lanes, which lavapipe runs
// with loads reading 0. So the draw is one triangle, (-1, -1), (1, -1),
// (-1, 1), in a viewport twice the grid's size: its long edge passes the
// grid's far corner and nothing is clipped (clipping a larger triangle to the
// viewport makes two, split along the diagonal); the scissor is the grid.
constexpr const char* kVertexShader = R"(
float4 main(uint vertex : SV_VertexID) : SV_Position {
  float2 corner = float2((vertex << 1) & 2, vertex & 2);
  return float4(corner - 1.0, 0.0, 1.0);
}
)";

// The push constants of a draw: the prelude's QvRun.
struct PushConstants {
  uint32_t invocations;
  uint32_t first;
};

// The mip chain of `image` as the runner uploads it, level 0 first.
std::vector<std::vector<float> > mipChain(const Image& image) {
  std::vector<std::vector<float> > levels = {image.rgba};
  uint32_t w = image.width, h = image.height;
  while (image.mipmaps && (w > 1 || h > 1)) {
    const std::vector<float>& above = levels.back();
    const uint32_t nw = std::max(w / 2, 1u), nh = std::max(h / 2, 1u);
    std::vector<float> level(size_t{nw} * nh * 4);
    for (uint32_t y = 0; y < nh; ++y)
      for (uint32_t x = 0; x < nw; ++x)
        for (uint32_t c = 0; c < 4; ++c) {
          const uint32_t x0 = std::min(2 * x, w - 1), x1 = std::min(2 * x + 1, w - 1);
          const uint32_t y0 = std::min(2 * y, h - 1), y1 = std::min(2 * y + 1, h - 1);
          const auto at = [&](uint32_t px, uint32_t py) {
            return above[(size_t{py} * w + px) * 4 + c];
          };
          level[(size_t{y} * nw + x) * 4 + c] =
              ((at(x0, y0) + at(x1, y0)) + (at(x0, y1) + at(x1, y1))) * 0.25f;
        }
    levels.push_back(std::move(level));
    w = nw;
    h = nh;
  }
  return levels;
}

}  // namespace

struct Device::Impl {
  VkInstance instance = VK_NULL_HANDLE;
  VkPhysicalDevice physical = VK_NULL_HANDLE;
  VkDevice device = VK_NULL_HANDLE;
  VkQueue queue = VK_NULL_HANDLE;
  uint32_t queueFamily = 0;
  VkPhysicalDeviceMemoryProperties memory = {};
  VkPhysicalDeviceLimits limits = {};
  bool anisotropy = false;
  std::string name;

  // What every run shares. The descriptor set's layout is each run's own:
  // it has as many texture and sampler bindings as the job has textures.
  VkRenderPass renderPass = VK_NULL_HANDLE;
  VkShaderModule vertexShader = VK_NULL_HANDLE;
  VkCommandPool commandPool = VK_NULL_HANDLE;

  ~Impl() {
    if (device) {
      vkDeviceWaitIdle(device);
      vkDestroyCommandPool(device, commandPool, nullptr);
      vkDestroyShaderModule(device, vertexShader, nullptr);
      vkDestroyRenderPass(device, renderPass, nullptr);
      vkDestroyDevice(device, nullptr);
    }
    if (instance) vkDestroyInstance(instance, nullptr);
  }

  bool memoryType(uint32_t typeBits, VkMemoryPropertyFlags wanted, uint32_t* index) const {
    for (uint32_t i = 0; i < memory.memoryTypeCount; ++i) {
      if ((typeBits & (1u << i)) && (memory.memoryTypes[i].propertyFlags & wanted) == wanted) {
        *index = i;
        return true;
      }
    }
    return false;
  }

  bool setUp(std::string* error);
  bool pickPhysicalDevice(std::string* error);
};

namespace {

// Why `physical` cannot serve the runner, "" when it can; *family is the
// queue family it would use.
std::string unsuitability(VkPhysicalDevice physical, uint32_t* family) {
  VkPhysicalDeviceFeatures features;
  vkGetPhysicalDeviceFeatures(physical, &features);
  if (!features.fragmentStoresAndAtomics) return "no fragmentStoresAndAtomics";
  VkFormatProperties format;
  vkGetPhysicalDeviceFormatProperties(physical, kFormat, &format);
  const VkFormatFeatureFlags needed =
      VK_FORMAT_FEATURE_SAMPLED_IMAGE_BIT | VK_FORMAT_FEATURE_SAMPLED_IMAGE_FILTER_LINEAR_BIT;
  if ((format.optimalTilingFeatures & needed) != needed)
    return "cannot sample R32G32B32A32_SFLOAT images with linear filtering";
  uint32_t count = 0;
  vkGetPhysicalDeviceQueueFamilyProperties(physical, &count, nullptr);
  std::vector<VkQueueFamilyProperties> families(count);
  vkGetPhysicalDeviceQueueFamilyProperties(physical, &count, families.data());
  for (uint32_t i = 0; i < count; ++i) {
    if (families[i].queueFlags & VK_QUEUE_GRAPHICS_BIT) {
      *family = i;
      return "";
    }
  }
  return "no graphics queue";
}

}  // namespace

bool Device::Impl::pickPhysicalDevice(std::string* error) {
  uint32_t count = 0;
  QV_VK(vkEnumeratePhysicalDevices(instance, &count, nullptr));
  std::vector<VkPhysicalDevice> all(count);
  QV_VK(vkEnumeratePhysicalDevices(instance, &count, all.data()));
  if (all.empty()) {
    *error = "no Vulkan physical device";
    return false;
  }
  // A CPU device first: its results do not depend on the machine's GPU.
  std::stable_partition(all.begin(), all.end(), [](VkPhysicalDevice d) {
    VkPhysicalDeviceProperties p;
    vkGetPhysicalDeviceProperties(d, &p);
    return p.deviceType == VK_PHYSICAL_DEVICE_TYPE_CPU;
  });
  std::string reasons;
  for (VkPhysicalDevice candidate : all) {
    VkPhysicalDeviceProperties properties;
    vkGetPhysicalDeviceProperties(candidate, &properties);
    const std::string why = unsuitability(candidate, &queueFamily);
    if (why.empty()) {
      physical = candidate;
      name = properties.deviceName;
      limits = properties.limits;
      vkGetPhysicalDeviceMemoryProperties(physical, &memory);
      return true;
    }
    reasons += std::string(reasons.empty() ? "" : "; ") + properties.deviceName + ": " + why;
  }
  *error = "no suitable Vulkan device (" + reasons + ")";
  return false;
}

bool Device::Impl::setUp(std::string* error) {
  auto app = make<VkApplicationInfo>(VK_STRUCTURE_TYPE_APPLICATION_INFO);
  app.pApplicationName = "qv shader runner";
  app.apiVersion = VK_API_VERSION_1_0;
  auto instanceInfo = make<VkInstanceCreateInfo>(VK_STRUCTURE_TYPE_INSTANCE_CREATE_INFO);
  instanceInfo.pApplicationInfo = &app;
  QV_VK(vkCreateInstance(&instanceInfo, nullptr, &instance));
  if (!pickPhysicalDevice(error)) return false;
#if defined(__linux__)
  // lavapipe does not free what it allocates when loaded (240 bytes in Mesa
  // 22.3), and the loader unloads it with each instance; LeakSanitizer then
  // reports those blocks, from an unknown module that no suppression can
  // name. Kept loaded, they stay reachable. Loads nothing that is not loaded.
  if (name.rfind("llvmpipe", 0) == 0)
    (void)dlopen("libvulkan_lvp.so", RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
#endif

  VkPhysicalDeviceFeatures available;
  vkGetPhysicalDeviceFeatures(physical, &available);
  VkPhysicalDeviceFeatures enabled = {};
  enabled.fragmentStoresAndAtomics = VK_TRUE;
  enabled.samplerAnisotropy = available.samplerAnisotropy;
  anisotropy = available.samplerAnisotropy == VK_TRUE;
  const float priority = 1.0f;
  auto queueInfo = make<VkDeviceQueueCreateInfo>(VK_STRUCTURE_TYPE_DEVICE_QUEUE_CREATE_INFO);
  queueInfo.queueFamilyIndex = queueFamily;
  queueInfo.queueCount = 1;
  queueInfo.pQueuePriorities = &priority;
  auto deviceInfo = make<VkDeviceCreateInfo>(VK_STRUCTURE_TYPE_DEVICE_CREATE_INFO);
  deviceInfo.queueCreateInfoCount = 1;
  deviceInfo.pQueueCreateInfos = &queueInfo;
  deviceInfo.pEnabledFeatures = &enabled;
  QV_VK(vkCreateDevice(physical, &deviceInfo, nullptr, &device));
  vkGetDeviceQueue(device, queueFamily, 0, &queue);

  // No attachments: results leave through qvOutputs.
  VkSubpassDescription subpass = {};
  subpass.pipelineBindPoint = VK_PIPELINE_BIND_POINT_GRAPHICS;
  auto passInfo = make<VkRenderPassCreateInfo>(VK_STRUCTURE_TYPE_RENDER_PASS_CREATE_INFO);
  passInfo.subpassCount = 1;
  passInfo.pSubpasses = &subpass;
  QV_VK(vkCreateRenderPass(device, &passInfo, nullptr, &renderPass));

  const ShaderCompile vertex = compileHlsl(kVertexShader, "main", Stage::kVertex);
  if (!vertex.ok) {
    *error = "cannot compile the runner's vertex shader: " + vertex.log;
    return false;
  }
  auto moduleInfo = make<VkShaderModuleCreateInfo>(VK_STRUCTURE_TYPE_SHADER_MODULE_CREATE_INFO);
  moduleInfo.codeSize = vertex.spirv.size() * sizeof(uint32_t);
  moduleInfo.pCode = vertex.spirv.data();
  QV_VK(vkCreateShaderModule(device, &moduleInfo, nullptr, &vertexShader));

  auto poolInfo = make<VkCommandPoolCreateInfo>(VK_STRUCTURE_TYPE_COMMAND_POOL_CREATE_INFO);
  poolInfo.flags = VK_COMMAND_POOL_CREATE_TRANSIENT_BIT;
  poolInfo.queueFamilyIndex = queueFamily;
  QV_VK(vkCreateCommandPool(device, &poolInfo, nullptr, &commandPool));
  return true;
}

namespace {

struct Buffer {
  VkBuffer buffer = VK_NULL_HANDLE;
  VkDeviceMemory memory = VK_NULL_HANDLE;
  void* mapped = nullptr;
  VkDeviceSize size = 0;
};

// One texture of a run: the image, its memory and view, and its sampler.
struct TextureObjects {
  VkImage image = VK_NULL_HANDLE;
  VkDeviceMemory memory = VK_NULL_HANDLE;
  VkImageView view = VK_NULL_HANDLE;
  VkSampler sampler = VK_NULL_HANDLE;
};

// Everything one run makes, destroyed when it goes out of scope.
struct RunObjects {
  const Device::Impl& gpu;
  Buffer inputs, outputs, staging;
  std::vector<TextureObjects> textures;
  VkDescriptorSetLayout setLayout = VK_NULL_HANDLE;
  VkPipelineLayout pipelineLayout = VK_NULL_HANDLE;
  VkDescriptorPool descriptorPool = VK_NULL_HANDLE;
  VkDescriptorSet set = VK_NULL_HANDLE;
  VkShaderModule fragmentShader = VK_NULL_HANDLE;
  VkPipeline pipeline = VK_NULL_HANDLE;
  VkFramebuffer framebuffer = VK_NULL_HANDLE;
  VkCommandBuffer commands = VK_NULL_HANDLE;
  VkFence fence = VK_NULL_HANDLE;

  explicit RunObjects(const Device::Impl& g) : gpu(g) {}
  RunObjects(const RunObjects&) = delete;
  RunObjects& operator=(const RunObjects&) = delete;
  ~RunObjects() {
    VkDevice d = gpu.device;
    // After a failed wait the draw may still be running.
    if (fence) vkDeviceWaitIdle(d);
    vkDestroyFence(d, fence, nullptr);
    if (commands) vkFreeCommandBuffers(d, gpu.commandPool, 1, &commands);
    vkDestroyFramebuffer(d, framebuffer, nullptr);
    vkDestroyPipeline(d, pipeline, nullptr);
    vkDestroyShaderModule(d, fragmentShader, nullptr);
    vkDestroyDescriptorPool(d, descriptorPool, nullptr);
    vkDestroyPipelineLayout(d, pipelineLayout, nullptr);
    vkDestroyDescriptorSetLayout(d, setLayout, nullptr);
    for (TextureObjects& t : textures) {
      vkDestroySampler(d, t.sampler, nullptr);
      vkDestroyImageView(d, t.view, nullptr);
      vkDestroyImage(d, t.image, nullptr);
      vkFreeMemory(d, t.memory, nullptr);
    }
    for (Buffer* b : {&inputs, &outputs, &staging}) {
      vkDestroyBuffer(d, b->buffer, nullptr);
      vkFreeMemory(d, b->memory, nullptr);  // unmaps it too
    }
  }

  // A mapped, host-coherent buffer of at least `size` bytes.
  bool makeBuffer(VkDeviceSize size, VkBufferUsageFlags usage, Buffer* b, std::string* error) {
    b->size = std::max<VkDeviceSize>(size, 16);
    auto info = make<VkBufferCreateInfo>(VK_STRUCTURE_TYPE_BUFFER_CREATE_INFO);
    info.size = b->size;
    info.usage = usage;
    info.sharingMode = VK_SHARING_MODE_EXCLUSIVE;
    QV_VK(vkCreateBuffer(gpu.device, &info, nullptr, &b->buffer));
    VkMemoryRequirements needs;
    vkGetBufferMemoryRequirements(gpu.device, b->buffer, &needs);
    auto alloc = make<VkMemoryAllocateInfo>(VK_STRUCTURE_TYPE_MEMORY_ALLOCATE_INFO);
    alloc.allocationSize = needs.size;
    if (!gpu.memoryType(needs.memoryTypeBits,
                        VK_MEMORY_PROPERTY_HOST_VISIBLE_BIT | VK_MEMORY_PROPERTY_HOST_COHERENT_BIT,
                        &alloc.memoryTypeIndex)) {
      *error = "no host-visible, coherent memory for a buffer";
      return false;
    }
    QV_VK(vkAllocateMemory(gpu.device, &alloc, nullptr, &b->memory));
    QV_VK(vkBindBufferMemory(gpu.device, b->buffer, b->memory, 0));
    QV_VK(vkMapMemory(gpu.device, b->memory, 0, VK_WHOLE_SIZE, 0, &b->mapped));
    return true;
  }

  // Buffers at bindings 0 and 1, then a texture and a sampler for each of
  // the textures: Texture2D at 2 + 2k, SamplerState at 3 + 2k; then the same
  // pairs again as combined image samplers, at 2 + 2n + k for n textures.
  // GLSL cannot hand a sampler2D made from a separate texture and sampler to
  // a function, and Maya's GLSL fragments take their textures as sampler2D
  // parameters, so a GLSL wrapper reads the combined ones; HLSL ignores them.
  bool makeLayouts(uint32_t textureCount, std::string* error) {
    std::vector<VkDescriptorSetLayoutBinding> bindings(2 + 3 * size_t{textureCount});
    for (uint32_t i = 0; i < bindings.size(); ++i) {
      bindings[i].binding = i;
      bindings[i].descriptorType = i < 2 ? VK_DESCRIPTOR_TYPE_STORAGE_BUFFER
                                   : i >= 2 + 2 * textureCount
                                       ? VK_DESCRIPTOR_TYPE_COMBINED_IMAGE_SAMPLER
                                   : i % 2 == 0 ? VK_DESCRIPTOR_TYPE_SAMPLED_IMAGE
                                                : VK_DESCRIPTOR_TYPE_SAMPLER;
      bindings[i].descriptorCount = 1;
      bindings[i].stageFlags = VK_SHADER_STAGE_FRAGMENT_BIT;
    }
    auto setInfo =
        make<VkDescriptorSetLayoutCreateInfo>(VK_STRUCTURE_TYPE_DESCRIPTOR_SET_LAYOUT_CREATE_INFO);
    setInfo.bindingCount = static_cast<uint32_t>(bindings.size());
    setInfo.pBindings = bindings.data();
    QV_VK(vkCreateDescriptorSetLayout(gpu.device, &setInfo, nullptr, &setLayout));

    const VkPushConstantRange pushRange = {VK_SHADER_STAGE_FRAGMENT_BIT, 0, sizeof(PushConstants)};
    auto layoutInfo =
        make<VkPipelineLayoutCreateInfo>(VK_STRUCTURE_TYPE_PIPELINE_LAYOUT_CREATE_INFO);
    layoutInfo.setLayoutCount = 1;
    layoutInfo.pSetLayouts = &setLayout;
    layoutInfo.pushConstantRangeCount = 1;
    layoutInfo.pPushConstantRanges = &pushRange;
    QV_VK(vkCreatePipelineLayout(gpu.device, &layoutInfo, nullptr, &pipelineLayout));
    return true;
  }

  // A texture's image and view; its levels come from the staging buffer.
  bool makeImage(const Image& source, uint32_t levels, TextureObjects* t, std::string* error) {
    VkImage& image = t->image;
    VkDeviceMemory& imageMemory = t->memory;
    VkImageView& view = t->view;
    auto info = make<VkImageCreateInfo>(VK_STRUCTURE_TYPE_IMAGE_CREATE_INFO);
    info.imageType = VK_IMAGE_TYPE_2D;
    info.format = kFormat;
    info.extent = {source.width, source.height, 1};
    info.mipLevels = levels;
    info.arrayLayers = 1;
    info.samples = VK_SAMPLE_COUNT_1_BIT;
    info.tiling = VK_IMAGE_TILING_OPTIMAL;
    info.usage = VK_IMAGE_USAGE_SAMPLED_BIT | VK_IMAGE_USAGE_TRANSFER_DST_BIT;
    info.sharingMode = VK_SHARING_MODE_EXCLUSIVE;
    info.initialLayout = VK_IMAGE_LAYOUT_UNDEFINED;
    QV_VK(vkCreateImage(gpu.device, &info, nullptr, &image));
    VkMemoryRequirements needs;
    vkGetImageMemoryRequirements(gpu.device, image, &needs);
    auto alloc = make<VkMemoryAllocateInfo>(VK_STRUCTURE_TYPE_MEMORY_ALLOCATE_INFO);
    alloc.allocationSize = needs.size;
    if (!gpu.memoryType(needs.memoryTypeBits, VK_MEMORY_PROPERTY_DEVICE_LOCAL_BIT,
                        &alloc.memoryTypeIndex) &&
        !gpu.memoryType(needs.memoryTypeBits, 0, &alloc.memoryTypeIndex)) {
      *error = "no memory for the image";
      return false;
    }
    QV_VK(vkAllocateMemory(gpu.device, &alloc, nullptr, &imageMemory));
    QV_VK(vkBindImageMemory(gpu.device, image, imageMemory, 0));
    auto viewInfo = make<VkImageViewCreateInfo>(VK_STRUCTURE_TYPE_IMAGE_VIEW_CREATE_INFO);
    viewInfo.image = image;
    viewInfo.viewType = VK_IMAGE_VIEW_TYPE_2D;
    viewInfo.format = kFormat;
    viewInfo.subresourceRange = {VK_IMAGE_ASPECT_COLOR_BIT, 0, levels, 0, 1};
    QV_VK(vkCreateImageView(gpu.device, &viewInfo, nullptr, &view));
    return true;
  }

  bool makeSampler(const Sampler& s, bool mipmapped, TextureObjects* t, std::string* error) {
    static const VkSamplerAddressMode modes[] = {
        VK_SAMPLER_ADDRESS_MODE_REPEAT, VK_SAMPLER_ADDRESS_MODE_MIRRORED_REPEAT,
        VK_SAMPLER_ADDRESS_MODE_CLAMP_TO_EDGE, VK_SAMPLER_ADDRESS_MODE_CLAMP_TO_BORDER};
    const VkSamplerAddressMode mode = modes[static_cast<int>(s.address)];
    const bool nearest = s.filter == Filter::kNearest;
    auto info = make<VkSamplerCreateInfo>(VK_STRUCTURE_TYPE_SAMPLER_CREATE_INFO);
    info.magFilter = info.minFilter = nearest ? VK_FILTER_NEAREST : VK_FILTER_LINEAR;
    info.mipmapMode = nearest ? VK_SAMPLER_MIPMAP_MODE_NEAREST : VK_SAMPLER_MIPMAP_MODE_LINEAR;
    info.addressModeU = info.addressModeV = info.addressModeW = mode;
    if (s.filter == Filter::kAnisotropic) {
      info.anisotropyEnable = VK_TRUE;
      info.maxAnisotropy = std::clamp(s.maxAnisotropy, 1.0f, gpu.limits.maxSamplerAnisotropy);
    }
    info.minLod = 0.0f;
    info.maxLod = mipmapped ? VK_LOD_CLAMP_NONE : 0.0f;
    info.borderColor = VK_BORDER_COLOR_FLOAT_TRANSPARENT_BLACK;
    QV_VK(vkCreateSampler(gpu.device, &info, nullptr, &t->sampler));
    return true;
  }

  bool makeDescriptors(std::string* error) {
    const auto count = static_cast<uint32_t>(textures.size());
    const VkDescriptorPoolSize sizes[] = {{VK_DESCRIPTOR_TYPE_STORAGE_BUFFER, 2},
                                          {VK_DESCRIPTOR_TYPE_SAMPLED_IMAGE, count},
                                          {VK_DESCRIPTOR_TYPE_SAMPLER, count},
                                          {VK_DESCRIPTOR_TYPE_COMBINED_IMAGE_SAMPLER, count}};
    auto poolInfo = make<VkDescriptorPoolCreateInfo>(VK_STRUCTURE_TYPE_DESCRIPTOR_POOL_CREATE_INFO);
    poolInfo.maxSets = 1;
    poolInfo.poolSizeCount = 4;
    poolInfo.pPoolSizes = sizes;
    QV_VK(vkCreateDescriptorPool(gpu.device, &poolInfo, nullptr, &descriptorPool));
    auto alloc = make<VkDescriptorSetAllocateInfo>(VK_STRUCTURE_TYPE_DESCRIPTOR_SET_ALLOCATE_INFO);
    alloc.descriptorPool = descriptorPool;
    alloc.descriptorSetCount = 1;
    alloc.pSetLayouts = &setLayout;
    QV_VK(vkAllocateDescriptorSets(gpu.device, &alloc, &set));

    const VkDescriptorBufferInfo in = {inputs.buffer, 0, VK_WHOLE_SIZE};
    const VkDescriptorBufferInfo out = {outputs.buffer, 0, VK_WHOLE_SIZE};
    std::vector<VkDescriptorImageInfo> images;
    for (const TextureObjects& t : textures) {
      images.push_back({VK_NULL_HANDLE, t.view, VK_IMAGE_LAYOUT_SHADER_READ_ONLY_OPTIMAL});
      images.push_back({t.sampler, VK_NULL_HANDLE, VK_IMAGE_LAYOUT_UNDEFINED});
    }
    for (const TextureObjects& t : textures) {
      images.push_back({t.sampler, t.view, VK_IMAGE_LAYOUT_SHADER_READ_ONLY_OPTIMAL});
    }
    std::vector<VkWriteDescriptorSet> writes(2 + images.size());
    for (uint32_t i = 0; i < writes.size(); ++i) {
      writes[i].sType = VK_STRUCTURE_TYPE_WRITE_DESCRIPTOR_SET;
      writes[i].dstSet = set;
      writes[i].dstBinding = i;
      writes[i].descriptorCount = 1;
      if (i >= 2 + 2 * count) {
        writes[i].descriptorType = VK_DESCRIPTOR_TYPE_COMBINED_IMAGE_SAMPLER;
        writes[i].pImageInfo = &images[i - 2];
      } else if (i >= 2) {
        writes[i].descriptorType =
            i % 2 == 0 ? VK_DESCRIPTOR_TYPE_SAMPLED_IMAGE : VK_DESCRIPTOR_TYPE_SAMPLER;
        writes[i].pImageInfo = &images[i - 2];
      }
    }
    writes[0].descriptorType = writes[1].descriptorType = VK_DESCRIPTOR_TYPE_STORAGE_BUFFER;
    writes[0].pBufferInfo = &in;
    writes[1].pBufferInfo = &out;
    vkUpdateDescriptorSets(gpu.device, static_cast<uint32_t>(writes.size()), writes.data(), 0,
                           nullptr);
    return true;
  }

  bool makePipeline(const std::vector<uint32_t>& spirv, VkExtent2D extent, std::string* error) {
    auto moduleInfo = make<VkShaderModuleCreateInfo>(VK_STRUCTURE_TYPE_SHADER_MODULE_CREATE_INFO);
    moduleInfo.codeSize = spirv.size() * sizeof(uint32_t);
    moduleInfo.pCode = spirv.data();
    QV_VK(vkCreateShaderModule(gpu.device, &moduleInfo, nullptr, &fragmentShader));

    VkPipelineShaderStageCreateInfo stages[2] = {};
    for (VkPipelineShaderStageCreateInfo& stage : stages) {
      stage.sType = VK_STRUCTURE_TYPE_PIPELINE_SHADER_STAGE_CREATE_INFO;
      stage.pName = "main";
    }
    stages[0].stage = VK_SHADER_STAGE_VERTEX_BIT;
    stages[0].module = gpu.vertexShader;
    stages[1].stage = VK_SHADER_STAGE_FRAGMENT_BIT;
    stages[1].module = fragmentShader;
    auto vertexInput = make<VkPipelineVertexInputStateCreateInfo>(
        VK_STRUCTURE_TYPE_PIPELINE_VERTEX_INPUT_STATE_CREATE_INFO);
    auto assembly = make<VkPipelineInputAssemblyStateCreateInfo>(
        VK_STRUCTURE_TYPE_PIPELINE_INPUT_ASSEMBLY_STATE_CREATE_INFO);
    assembly.topology = VK_PRIMITIVE_TOPOLOGY_TRIANGLE_LIST;
    const VkViewport viewport = {0.0f, 0.0f, 2.0f * extent.width, 2.0f * extent.height, 0.0f, 1.0f};
    const VkRect2D scissor = {{0, 0}, extent};
    auto viewportState = make<VkPipelineViewportStateCreateInfo>(
        VK_STRUCTURE_TYPE_PIPELINE_VIEWPORT_STATE_CREATE_INFO);
    viewportState.viewportCount = 1;
    viewportState.pViewports = &viewport;
    viewportState.scissorCount = 1;
    viewportState.pScissors = &scissor;
    auto raster = make<VkPipelineRasterizationStateCreateInfo>(
        VK_STRUCTURE_TYPE_PIPELINE_RASTERIZATION_STATE_CREATE_INFO);
    raster.polygonMode = VK_POLYGON_MODE_FILL;
    raster.cullMode = VK_CULL_MODE_NONE;
    raster.lineWidth = 1.0f;
    auto multisample = make<VkPipelineMultisampleStateCreateInfo>(
        VK_STRUCTURE_TYPE_PIPELINE_MULTISAMPLE_STATE_CREATE_INFO);
    multisample.rasterizationSamples = VK_SAMPLE_COUNT_1_BIT;
    auto blend = make<VkPipelineColorBlendStateCreateInfo>(
        VK_STRUCTURE_TYPE_PIPELINE_COLOR_BLEND_STATE_CREATE_INFO);
    auto info = make<VkGraphicsPipelineCreateInfo>(VK_STRUCTURE_TYPE_GRAPHICS_PIPELINE_CREATE_INFO);
    info.stageCount = 2;
    info.pStages = stages;
    info.pVertexInputState = &vertexInput;
    info.pInputAssemblyState = &assembly;
    info.pViewportState = &viewportState;
    info.pRasterizationState = &raster;
    info.pMultisampleState = &multisample;
    info.pColorBlendState = &blend;
    info.layout = pipelineLayout;
    info.renderPass = gpu.renderPass;
    QV_VK(vkCreateGraphicsPipelines(gpu.device, VK_NULL_HANDLE, 1, &info, nullptr, &pipeline));

    auto framebufferInfo = make<VkFramebufferCreateInfo>(VK_STRUCTURE_TYPE_FRAMEBUFFER_CREATE_INFO);
    framebufferInfo.renderPass = gpu.renderPass;
    framebufferInfo.width = extent.width;
    framebufferInfo.height = extent.height;
    framebufferInfo.layers = 1;
    QV_VK(vkCreateFramebuffer(gpu.device, &framebufferInfo, nullptr, &framebuffer));
    return true;
  }
};

void imageBarrier(VkCommandBuffer commands, VkImage image, VkImageLayout from, VkImageLayout to,
                  VkAccessFlags fromAccess, VkAccessFlags toAccess, VkPipelineStageFlags fromStage,
                  VkPipelineStageFlags toStage) {
  auto barrier = make<VkImageMemoryBarrier>(VK_STRUCTURE_TYPE_IMAGE_MEMORY_BARRIER);
  barrier.srcAccessMask = fromAccess;
  barrier.dstAccessMask = toAccess;
  barrier.oldLayout = from;
  barrier.newLayout = to;
  barrier.srcQueueFamilyIndex = barrier.dstQueueFamilyIndex = VK_QUEUE_FAMILY_IGNORED;
  barrier.image = image;
  barrier.subresourceRange = {VK_IMAGE_ASPECT_COLOR_BIT, 0, VK_REMAINING_MIP_LEVELS, 0, 1};
  vkCmdPipelineBarrier(commands, fromStage, toStage, 0, 0, nullptr, 0, nullptr, 1, &barrier);
}

}  // namespace

std::unique_ptr<Device> Device::create(std::string* why) {
  std::string ignored;
  std::string* error = why ? why : &ignored;
  if (!*glslangValidatorPath()) {
    *error = "no glslangValidator was found when the project was configured";
    return nullptr;
  }
  auto impl = std::make_unique<Impl>();
  if (!impl->setUp(error)) return nullptr;
  return std::unique_ptr<Device>(new Device(std::move(impl)));
}

bool Device::anisotropy() const {
  return impl_->anisotropy;
}

bool Device::run(const Job& job, std::vector<float>* outputs, std::string* errorOut) {
  std::string ignored;
  std::string* error = errorOut ? errorOut : &ignored;
  const Impl& gpu = *impl_;

  // The job itself first.
  if (!outputs) {
    *error = "no outputs vector";
    return false;
  }
  static const Image kBlack = {1, 1, {0.0f, 0.0f, 0.0f, 0.0f}, false};
  std::vector<TextureBinding> bindings = {{job.image, job.sampler}};
  bindings.insert(bindings.end(), job.moreTextures.begin(), job.moreTextures.end());
  // Each texture is bound twice: apart and as a combined image sampler.
  if (2 * bindings.size() > gpu.limits.maxPerStageDescriptorSampledImages ||
      2 * bindings.size() > gpu.limits.maxPerStageDescriptorSamplers) {
    *error = "the job has " + std::to_string(bindings.size()) + " textures, more than " + name() +
             " binds at once";
    return false;
  }
  for (size_t k = 0; k < bindings.size(); ++k) {
    // The first texture's messages read as they did when it was the only one.
    const std::string which = k == 0 ? "" : "texture " + std::to_string(k) + ": ";
    const Image& image = bindings[k].image ? *bindings[k].image : kBlack;
    if (image.width == 0 || image.height == 0 ||
        image.rgba.size() != size_t{image.width} * image.height * 4) {
      *error = which + "the image's rgba holds " + std::to_string(image.rgba.size()) +
               " floats, not 4 x " + std::to_string(image.width) + " x " +
               std::to_string(image.height);
      return false;
    }
    if (image.width > gpu.limits.maxImageDimension2D ||
        image.height > gpu.limits.maxImageDimension2D) {
      *error = which + "the image is larger than the device's limit of " +
               std::to_string(gpu.limits.maxImageDimension2D) + " texels a side";
      return false;
    }
    if (bindings[k].sampler.filter == Filter::kAnisotropic && !gpu.anisotropy) {
      *error = which + name() + " has no samplerAnisotropy";
      return false;
    }
  }
  if (job.spirv.size() < 5 || job.spirv[0] != 0x07230203u) {
    *error = "the job's spirv is not a SPIR-V module";
    return false;
  }
  // As many rows as the job needs, up to what one draw can hold (the viewport
  // is twice the grid's size); more invocations take more draws.
  const uint32_t maxRows =
      std::min({gpu.limits.maxFramebufferHeight, gpu.limits.maxViewportDimensions[1] / 2,
                static_cast<uint32_t>(gpu.limits.viewportBoundsRange[1]) / 2}) /
      2;
  const uint32_t rows =
      std::clamp((job.invocations + kGridQuads - 1) / kGridQuads, 1u, std::max(maxRows, 1u));
  const VkExtent2D extent = {2 * kGridQuads, 2 * rows};

  RunObjects objects(gpu);
  objects.textures.resize(bindings.size());
  std::vector<std::vector<std::vector<float> > > levels;
  VkDeviceSize stagingSize = 0;
  for (const TextureBinding& binding : bindings) {
    levels.push_back(mipChain(binding.image ? *binding.image : kBlack));
    for (const std::vector<float>& level : levels.back())
      stagingSize += level.size() * sizeof(float);
  }
  if (!objects.makeBuffer(job.inputs.size() * sizeof(float), VK_BUFFER_USAGE_STORAGE_BUFFER_BIT,
                          &objects.inputs, error) ||
      !objects.makeBuffer(VkDeviceSize{job.outputFloats} * sizeof(float),
                          VK_BUFFER_USAGE_STORAGE_BUFFER_BIT, &objects.outputs, error) ||
      !objects.makeBuffer(stagingSize, VK_BUFFER_USAGE_TRANSFER_SRC_BIT, &objects.staging, error))
    return false;
  for (size_t k = 0; k < bindings.size(); ++k) {
    const Image& image = bindings[k].image ? *bindings[k].image : kBlack;
    const auto count = static_cast<uint32_t>(levels[k].size());
    if (!objects.makeImage(image, count, &objects.textures[k], error) ||
        !objects.makeSampler(bindings[k].sampler, count > 1, &objects.textures[k], error))
      return false;
  }
  if (!objects.makeLayouts(static_cast<uint32_t>(bindings.size()), error) ||
      !objects.makeDescriptors(error) || !objects.makePipeline(job.spirv, extent, error))
    return false;
  if (!job.inputs.empty())
    std::memcpy(objects.inputs.mapped, job.inputs.data(), job.inputs.size() * sizeof(float));
  std::memset(objects.outputs.mapped, 0, objects.outputs.size);
  std::vector<std::vector<VkBufferImageCopy> > copies(bindings.size());
  VkDeviceSize offset = 0;
  for (size_t k = 0; k < bindings.size(); ++k) {
    const Image& image = bindings[k].image ? *bindings[k].image : kBlack;
    for (uint32_t i = 0; i < levels[k].size(); ++i) {
      const std::vector<float>& level = levels[k][i];
      std::memcpy(static_cast<char*>(objects.staging.mapped) + offset, level.data(),
                  level.size() * sizeof(float));
      VkBufferImageCopy copy = {};
      copy.bufferOffset = offset;
      copy.imageSubresource = {VK_IMAGE_ASPECT_COLOR_BIT, i, 0, 1};
      copy.imageExtent = {std::max(image.width >> i, 1u), std::max(image.height >> i, 1u), 1};
      copies[k].push_back(copy);
      offset += level.size() * sizeof(float);
    }
  }

  auto alloc = make<VkCommandBufferAllocateInfo>(VK_STRUCTURE_TYPE_COMMAND_BUFFER_ALLOCATE_INFO);
  alloc.commandPool = gpu.commandPool;
  alloc.level = VK_COMMAND_BUFFER_LEVEL_PRIMARY;
  alloc.commandBufferCount = 1;
  QV_VK(vkAllocateCommandBuffers(gpu.device, &alloc, &objects.commands));
  auto begin = make<VkCommandBufferBeginInfo>(VK_STRUCTURE_TYPE_COMMAND_BUFFER_BEGIN_INFO);
  begin.flags = VK_COMMAND_BUFFER_USAGE_ONE_TIME_SUBMIT_BIT;
  QV_VK(vkBeginCommandBuffer(objects.commands, &begin));
  for (size_t k = 0; k < bindings.size(); ++k) {
    const VkImage image = objects.textures[k].image;
    imageBarrier(objects.commands, image, VK_IMAGE_LAYOUT_UNDEFINED,
                 VK_IMAGE_LAYOUT_TRANSFER_DST_OPTIMAL, 0, VK_ACCESS_TRANSFER_WRITE_BIT,
                 VK_PIPELINE_STAGE_TOP_OF_PIPE_BIT, VK_PIPELINE_STAGE_TRANSFER_BIT);
    vkCmdCopyBufferToImage(objects.commands, objects.staging.buffer, image,
                           VK_IMAGE_LAYOUT_TRANSFER_DST_OPTIMAL,
                           static_cast<uint32_t>(copies[k].size()), copies[k].data());
    imageBarrier(objects.commands, image, VK_IMAGE_LAYOUT_TRANSFER_DST_OPTIMAL,
                 VK_IMAGE_LAYOUT_SHADER_READ_ONLY_OPTIMAL, VK_ACCESS_TRANSFER_WRITE_BIT,
                 VK_ACCESS_SHADER_READ_BIT, VK_PIPELINE_STAGE_TRANSFER_BIT,
                 VK_PIPELINE_STAGE_FRAGMENT_SHADER_BIT);
  }
  auto pass = make<VkRenderPassBeginInfo>(VK_STRUCTURE_TYPE_RENDER_PASS_BEGIN_INFO);
  pass.renderPass = gpu.renderPass;
  pass.framebuffer = objects.framebuffer;
  pass.renderArea = {{0, 0}, extent};
  vkCmdBeginRenderPass(objects.commands, &pass, VK_SUBPASS_CONTENTS_INLINE);
  vkCmdBindPipeline(objects.commands, VK_PIPELINE_BIND_POINT_GRAPHICS, objects.pipeline);
  vkCmdBindDescriptorSets(objects.commands, VK_PIPELINE_BIND_POINT_GRAPHICS, objects.pipelineLayout,
                          0, 1, &objects.set, 0, nullptr);
  // No input sets, nothing to draw (and nothing in bounds to read).
  for (uint64_t first = 0; first < job.invocations; first += uint64_t{rows} * kGridQuads) {
    const PushConstants push = {job.invocations, static_cast<uint32_t>(first)};
    vkCmdPushConstants(objects.commands, objects.pipelineLayout, VK_SHADER_STAGE_FRAGMENT_BIT, 0,
                       sizeof(push), &push);
    vkCmdDraw(objects.commands, 3, 1, 0, 0);
  }
  vkCmdEndRenderPass(objects.commands);
  auto toHost = make<VkMemoryBarrier>(VK_STRUCTURE_TYPE_MEMORY_BARRIER);
  toHost.srcAccessMask = VK_ACCESS_SHADER_WRITE_BIT;
  toHost.dstAccessMask = VK_ACCESS_HOST_READ_BIT;
  vkCmdPipelineBarrier(objects.commands, VK_PIPELINE_STAGE_FRAGMENT_SHADER_BIT,
                       VK_PIPELINE_STAGE_HOST_BIT, 0, 1, &toHost, 0, nullptr, 0, nullptr);
  QV_VK(vkEndCommandBuffer(objects.commands));

  auto fenceInfo = make<VkFenceCreateInfo>(VK_STRUCTURE_TYPE_FENCE_CREATE_INFO);
  QV_VK(vkCreateFence(gpu.device, &fenceInfo, nullptr, &objects.fence));
  auto submit = make<VkSubmitInfo>(VK_STRUCTURE_TYPE_SUBMIT_INFO);
  submit.commandBufferCount = 1;
  submit.pCommandBuffers = &objects.commands;
  QV_VK(vkQueueSubmit(gpu.queue, 1, &submit, objects.fence));
  QV_VK(vkWaitForFences(gpu.device, 1, &objects.fence, VK_TRUE, kFenceTimeoutNs));

  const float* results = static_cast<const float*>(objects.outputs.mapped);
  outputs->assign(results, results + job.outputFloats);
  return true;
}

#endif  // QV_HAVE_VULKAN

Device::Device(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

Device::~Device() = default;

const std::string& Device::name() const {
  return impl_->name;
}

}  // namespace qv::gpu
