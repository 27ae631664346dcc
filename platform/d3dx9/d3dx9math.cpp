// Matrix and vector routines of our D3DX 9 layer, on row vectors (v' = v x M), as the engine composes transforms.
#include "d3dx9.h"

D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* a, const D3DXMATRIX* b)
{
    D3DXMATRIX product;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            product.m[i][j] = a->m[i][0] * b->m[0][j] + a->m[i][1] * b->m[1][j] + a->m[i][2] * b->m[2][j] +
                              a->m[i][3] * b->m[3][j];
    *out = product;
    return out;
}

D3DXMATRIX* D3DXMatrixTranspose(D3DXMATRIX* out, const D3DXMATRIX* m)
{
    D3DXMATRIX transposed;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            transposed.m[i][j] = m->m[j][i];
    *out = transposed;
    return out;
}

D3DXMATRIX* D3DXMatrixMultiplyTranspose(D3DXMATRIX* out, const D3DXMATRIX* a, const D3DXMATRIX* b)
{
    D3DXMATRIX product;
    D3DXMatrixMultiply(&product, a, b);
    return D3DXMatrixTranspose(out, &product);
}

D3DXVECTOR3* D3DXVec3TransformNormal(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m)
{
    float x = v->x, y = v->y, z = v->z;
    out->x = x * m->_11 + y * m->_21 + z * m->_31;
    out->y = x * m->_12 + y * m->_22 + z * m->_32;
    out->z = x * m->_13 + y * m->_23 + z * m->_33;
    return out;
}

D3DXVECTOR4* D3DXVec3Transform(D3DXVECTOR4* out, const D3DXVECTOR3* v, const D3DXMATRIX* m)
{
    float x = v->x, y = v->y, z = v->z;
    D3DXVECTOR4 r;
    r.x = x * m->_11 + y * m->_21 + z * m->_31 + m->_41;
    r.y = x * m->_12 + y * m->_22 + z * m->_32 + m->_42;
    r.z = x * m->_13 + y * m->_23 + z * m->_33 + m->_43;
    r.w = x * m->_14 + y * m->_24 + z * m->_34 + m->_44;
    *out = r;
    return out;
}

D3DXVECTOR3* D3DXVec3TransformCoord(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m)
{
    D3DXVECTOR4 r;
    D3DXVec3Transform(&r, v, m);
    // A point at infinity has no place to project to; keep the untransformed result rather than dividing by 0.
    float inverse = r.w != 0.0f ? 1.0f / r.w : 1.0f;
    out->x = r.x * inverse;
    out->y = r.y * inverse;
    out->z = r.z * inverse;
    return out;
}
