// The landscape's vertex stage: the rectangle's corners are already in clip space.
void main()
{
    gl_Position = gl_Vertex;
}
