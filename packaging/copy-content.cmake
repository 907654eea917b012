# Copies the presentation's content (the tune and the track files) from the
# stage folder FROM into the folder TO.
#   cmake -DFROM=stage -DTO=folder -P copy-content.cmake
file(GLOB content ${FROM}/*.mp3 ${FROM}/*.track)
file(COPY ${content} DESTINATION ${TO})
