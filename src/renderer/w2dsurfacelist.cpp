// The screen's ordered 2D surfaces.
#include "w2dsurfacelist.h"

void W2dSurfaceList::Render() {}

void W2dSurfaceList::RemoveAll()
{
    mSurfaces.RemoveAll();
}
