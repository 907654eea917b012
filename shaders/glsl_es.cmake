# Turns a desktop text (GLSL 1.10, no version directive) into the GLSL ES 3.00
# text WebGL 2 takes, so the browser compiles the very same scene code:
#   cmake -DINPUT=in.glsl -DOUTPUT=out.glsl -DSTAGE=vertex|fragment -P glsl_es.cmake
# ES has no gl_Vertex and no gl_FragColor: the rectangle's corners arrive in
# attribute location 0, the colour leaves through the one output. The ES
# loops need no constant bounds, which the landscape's march relies on.
file(READ "${INPUT}" text)
if(STAGE STREQUAL "vertex")
  set(header "#version 300 es\nlayout(location = 0) in vec4 es_vertex;\n")
  string(REPLACE "gl_Vertex" "es_vertex" text "${text}")
elseif(STAGE STREQUAL "fragment")
  set(header "#version 300 es\nprecision highp float;\nprecision highp int;\nout vec4 es_colour;\n")
  string(REPLACE "gl_FragColor" "es_colour" text "${text}")
else()
  message(FATAL_ERROR "glsl_es.cmake: STAGE must be vertex or fragment, not '${STAGE}'")
endif()
file(WRITE "${OUTPUT}.tmp" "${header}${text}")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
