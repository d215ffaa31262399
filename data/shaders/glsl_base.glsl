#version 110
// Put in front of every GLSL program of the OpenGL build (a line feed
// between), so each shader sees these names. The program fills the
// matrices from its current transforms each time a shader is set.

// The world (model) matrix, to be applied to a column vector: ModelMatrix * p.
uniform mat4 ModelMatrix;
// The view matrix as the program holds it; it applies from the right:
// p * ModelView.
uniform mat4 ModelView;
// Projection after view, applied to a world position: ViewProjectionMatrix * p.
uniform mat4 ViewProjectionMatrix;
// The rotation and scale of the world matrix, for normals: WorldRotMatrix * n.
uniform mat3 WorldRotMatrix;

// An object-space position to clip space.
vec4 ProjectVertex(vec4 position) {
  return ViewProjectionMatrix * (ModelMatrix * position);
}
