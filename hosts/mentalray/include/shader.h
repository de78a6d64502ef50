/* The mental ray shader interface as shader libraries see it: basic types,
 * the shading state and the host functions a shader may call. Written for
 * the stand-in host; member names and function signatures follow mental
 * ray's own header so that shader sources build against either. */
#ifndef SHADER_H
#define SHADER_H

#ifdef __cplusplus
extern "C" {
#endif

typedef int miBoolean;
typedef int miInteger;
typedef unsigned int miUint;
typedef unsigned char miUchar;
typedef float miScalar;
typedef unsigned int miTag;

#define miFALSE 0
#define miTRUE 1
#define miNULLTAG 0

typedef struct miColor {
  miScalar r, g, b, a;
} miColor;

typedef struct miVector {
  miScalar x, y, z;
} miVector;

typedef miScalar miMatrix[16];

/* Ray types a state can carry. */
typedef enum miRay_type {
  miRAY_EYE = 0,
  miRAY_TRANSPARENT = 1,
  miRAY_REFLECT = 2,
  miRAY_REFRACT = 3,
  miRAY_LIGHT = 4,
  miRAY_SHADOW = 5,
  miRAY_ENVIRONMENT = 6,
  miRAY_DISPLACE = 16
} miRay_type;

/* mi_query requests the stand-in answers. */
typedef enum miQ_type {
  miQ_INST_ITEM = 7, /* the object an instance places: a tag */
  miQ_OBJ_LABEL = 22 /* the label of an object tag: an integer */
} miQ_type;

/* The shader record: a shader instance with its parameter block. When
 * ghost_connected is 1, ghost[i] tells whether the 4-byte word i of the
 * parameter block is connected to another shader (0 and -2: it is not). */
typedef struct miFunction {
  miTag function_decl;
  miUchar ghost_connected;
  const miInteger* ghost;
  miUint ghost_size; /* number of entries in ghost */
  char* param;       /* the parameter block */
} miFunction;

typedef struct miState {
  miRay_type type;
  miFunction* shader;
  miTag instance;
  const void* pri; /* the primitive being shaded, host's record */
  miVector point;  /* shading point */
  miVector normal; /* shading normal */
  miVector dir;    /* ray direction */
  miVector org;    /* ray origin */
  double dist;     /* length of the ray that hit; -1 when it hit nothing */
  struct miState* parent;
  struct miState* child; /* state of the last ray traced from here */
  int thread;
  void* user; /* host-private data */
} miState;

/* Host functions. */
void* mi_phen_eval(miState* state, void* param);
miBoolean mi_query(const miQ_type query, miState* state, miTag tag, void* result, ...);
miBoolean mi_tri_vectors(miState* state, int which, int time, miVector** a, miVector** b,
                         miVector** c);
miBoolean mi_ray_offset(miState* state, double* offset);
miBoolean mi_trace_transparent(miColor* result, miState* state);
miBoolean mi_sample(double* sample, int* instance, miState* state, const miUint dimension,
                    const miUint* n);

#ifdef __cplusplus
}
#endif

#endif /* SHADER_H */
