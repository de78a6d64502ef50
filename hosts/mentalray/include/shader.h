/* The mental ray shader interface as shader libraries see it: basic types,
 * the shader record, the shading state, the parameter evaluation macros and
 * the host functions a shader may call. Written for the stand-in host; every
 * name, type, signature and record layout a shader uses is mental ray's own
 * (3.12 on x86-64, Linux and Windows alike), so that a shader library built
 * against this header runs under mental ray and one built against mental
 * ray's header runs under the stand-in. Members that no shader of this
 * project reads only keep the records' sizes and offsets. */
#ifndef SHADER_H
#define SHADER_H

#include <math.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifndef miC_LINKAGE
#if defined(__cplusplus)
#define miC_LINKAGE extern "C"
#else
#define miC_LINKAGE
#endif
#endif

#define miFALSE 0
#define miTRUE 1

typedef int miBoolean;
typedef unsigned char miCBoolean; /* a boolean where a byte must do */
typedef int miInteger;
typedef signed char miSint1;
typedef unsigned char miUint1;
typedef signed short miSint2;
typedef unsigned short miUint2;
typedef signed int miSint4;
typedef unsigned int miUint4;
typedef unsigned int miUint;
typedef unsigned char miUchar;
typedef unsigned short miUshort;
typedef float miScalar;
typedef miUint miTag;
typedef miScalar miMatrix[16];

typedef struct miState miState;
typedef struct miVector miVector;
typedef struct miColor miColor;
typedef union miPointer miPointer;
typedef union miLock miLock;

struct miVector {
  miScalar x, y, z;
};
struct miColor {
  miScalar r, g, b, a;
};
/* A pointer given eight bytes whatever the platform's pointer size. */
union miPointer {
  void* p;
  miUint4 padding[2];
};
union miLock {
  struct mi_lock* milockptr;
  int padding[2];
};

#define miNULLTAG ((miTag)0)
/* The connection tag of a parameter that the scene sets to a value. */
#define miPARAMTAG ((miTag)~1)

/* mi_query requests, with mental ray's codes. The stand-in answers the
   first two; the others are the requests that take arguments beyond the
   result, which a shader library forwarding a request has to know. miNQ,
   one past the host's last code, gives the type the host's range, so that
   any request code it knows is a value of the type. */
typedef enum miQ_type {
  miQ_INST_ITEM = 7,           /* the item an instance places: a tag */
  miQ_OBJ_LABEL = 22,          /* the label of an object: an integer */
  miQ_GROUP_KID = 15,          /* one argument more */
  miQ_FUNC_TLS_GETALL = 127,   /* one argument more */
  miQ_TEXTURE_DIM = 152,       /* one argument more */
  miQ_BUMP_BASIS = 163,        /* one argument more */
  miQ_FUNC_PARAM_VALUE = 165,  /* two arguments more */
  miQ_PRI_VERTICES_TEX = 171,  /* one argument more */
  miQ_PRI_VERTICES_USER = 172, /* one argument more */
  miNQ = 195
} miQ_type;

miBoolean mi_query(miQ_type, miState*, miUint, void*, ...);

miC_LINKAGE miBoolean mi_ray_offset(const struct miState* state, double* offset);

/* What a shader record calls. */
enum miFunction_type {
  miFUNCTION_C,
  miFUNCTION_PHEN,
  miFUNCTION_C_REQ,
  miFUNCTION_OUTFILE,
  miFUNCTION_DATA,
  miFUNCTION_PASS_SAVE,
  miFUNCTION_PASS_PREP,
  miFUNCTION_PASS_MERGE,
  miFUNCTION_PASS_DELETE
};

/* A shader instance: the record, then its parameter block from `parameters`
 * on (the record's size covers only the block's first eight bytes). Where the
 * host keeps connection tags, the tag of the parameter at address p is the
 * miTag at p + ghost_offs; has_connections is miTRUE when any parameter is
 * connected to another shader. */
typedef struct miFunction {
  miPointer reserved_links[7];
  enum miFunction_type type;
  miUint reserved_output[2];
  miTag function_decl; /* the declaration this instance follows */
  miTag reserved_tags[3];
  miBoolean reserved_flag;
  int parameter_size; /* bytes of the parameter block */
  int result_size;    /* bytes of the result */
  int ghost_offs;     /* from a parameter to its connection tag; 0: no tags */
  miTag reserved_pass[2];
  miSint1 reserved_samples;
  miCBoolean has_connections;
  miCBoolean reserved_bytes[9];
  miUchar label;
  char parameters[8];
} miFunction;

/* Ray types a state can carry; the numbers are fixed. */
typedef enum miRay_type {
  miRAY_EYE,
  miRAY_TRANSPARENT,
  miRAY_REFLECT,
  miRAY_REFRACT,
  miRAY_LIGHT,
  miRAY_SHADOW,
  miRAY_ENVIRONMENT,
  miRAY_NONE,
  miPHOTON_ABSORB,
  miPHOTON_LIGHT,
  miPHOTON_REFLECT_SPECULAR,
  miPHOTON_REFLECT_GLOSSY,
  miPHOTON_REFLECT_DIFFUSE,
  miPHOTON_TRANSMIT_SPECULAR,
  miPHOTON_TRANSMIT_GLOSSY,
  miPHOTON_TRANSMIT_DIFFUSE,
  miRAY_DISPLACE
} miRay_type;

struct miRc_intersection; /* the host's record of the primitive hit */

/* The shading state. Of the host's members, the ones a shader of this
 * project reads or the stand-in fills are named; the others are reserved. */
struct miState {
  int version;
  miTag camera_inst;
  const void* reserved_scene[2];
  miLock reserved_lock;
  miUint reserved_sampling[2];
  void* reserved_thread;
  float raster_x, raster_y;
  struct miState* parent; /* the state of the ray this one continues */
  miRay_type type;
  miUchar reserved_flags[4];
  void* reserved_companions[2];
  int reflection_level;
  int refraction_level;
  miVector org; /* ray origin */
  miVector dir; /* ray direction */
  double dist;  /* length of the ray; -1 for a ray that hit nothing */
  float time;
  miScalar reserved_ior[2];
  miTag material;
  miTag reserved_volumes[3];
  miUint label; /* of the object hit */
  miTag instance;
  miTag light_instance;
  struct miRc_intersection* pri; /* the primitive hit, or null */
  float importance;
  float bary[4];
  miVector point;       /* where the ray hit */
  miVector normal;      /* shading normal, turned toward the ray */
  miVector normal_geom; /* the primitive's own normal, turned likewise */
  miScalar dot_nd;
  double reserved_tolerance;
  miVector* reserved_lists[3];
  miVector motion;
  miVector* reserved_derivatives;
  miVector tex;
  const struct miFunction* shader; /* the shader being called */
  struct miState* child;           /* the state of the last ray traced from here */
  short thread;                    /* the render thread */
  miUshort count;
  void* user;
  int user_size;
};

/* Parameter evaluation: a parameter's value is in the block unless the
 * parameter is connected to another shader, whose result the host then
 * answers through mi_phen_eval. The typed forms expect the state in a
 * variable named `state`. */
#define mi_is_nonshader_tag(t) ((t) == miNULLTAG || (t) == miPARAMTAG)
#define mi_has_ghosts(s) (0 != (s)->shader->ghost_offs)
#define mi_has_connections(s) (miTRUE == (s)->shader->has_connections)
#define mi_get_ghost(s, p) (*((miTag*)((char*)(p) + (s)->shader->ghost_offs)))
#define mi_is_connected(s, p) \
  (mi_has_connections(s) && (!mi_is_nonshader_tag(mi_get_ghost((s), (p)))))
#define mi_is_set(s, p) (mi_has_ghosts(s) && miNULLTAG != mi_get_ghost((s), (p)))
#define mi_eval(s, p) (!mi_is_connected((s), (p)) ? (void*)(p) : mi_phen_eval((s), (void*)(p)))
#define mi_eval_boolean(p) ((miBoolean*)mi_eval(state, (p)))
#define mi_eval_integer(p) ((miInteger*)mi_eval(state, (p)))
#define mi_eval_scalar(p) ((miScalar*)mi_eval(state, (p)))
#define mi_eval_vector(p) ((miVector*)mi_eval(state, (p)))
#define mi_eval_transform(p) ((miScalar*)mi_eval(state, (p)))
#define mi_eval_color(p) ((miColor*)mi_eval(state, (p)))
#define mi_eval_tag(p) ((miTag*)mi_eval(state, (p)))

/* The value of the connected parameter at param for this shading point. */
void* mi_phen_eval(miState* state, void* param);

/* The vertices of the triangle being shaded: which 'p' for positions, ntex
 * the texture space when which is 't'. */
miBoolean mi_tri_vectors(miState* state, int which, int ntex, const miVector** a,
                         const miVector** b, const miVector** c);

/* Continues the state's ray past the shading point; the colour behind it. */
miBoolean mi_trace_transparent(miColor* result, miState* state);

/* The next of *n quasi-random samples of `dimension` values in [0, 1). */
miBoolean mi_sample(double* sample, int* instance, struct miState* state, const miUshort dimension,
                    const miUint* n);

#ifdef __cplusplus
}
#endif

#endif /* SHADER_H */
