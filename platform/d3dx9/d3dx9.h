// Our D3DX 9 layer: the shader assembler and disassembler over the Direct3D 9 layer's token format, and the
// matrix and vector routines the engine calls. Results use the platform's HRESULT codes.
#pragma once

#include "d3d9.h"

// ---- Buffers ------------------------------------------------------------------------------------------------------

/// A reference-counted block of bytes: assembled tokens or an error text (zero-terminated).
class ID3DXBuffer
{
public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    virtual void* GetBufferPointer() = 0;
    virtual DWORD GetBufferSize() = 0;

protected:
    virtual ~ID3DXBuffer() = default;
};
using LPD3DXBUFFER = ID3DXBuffer*;

/// A copy of size bytes (zero-filled when data is null); out gets null on failure.
HRESULT D3DXCreateBuffer(DWORD size, ID3DXBuffer** out);

// ---- Shader assembly ----------------------------------------------------------------------------------------------

/// A preprocessor definition; the assembler takes none and refuses a non-empty list.
struct D3DXMACRO
{
    const char* Name;
    const char* Definition;
};
/// Include handlers are not taken: the engine's shaders are single texts.
class ID3DXInclude;

constexpr DWORD D3DXSHADER_DEBUG = 0x1;
constexpr DWORD D3DXSHADER_SKIPVALIDATION = 0x2;
constexpr DWORD D3DXSHADER_SKIPOPTIMIZATION = 0x4;

/// Assembles vs_1_1, vs_2_0, vs_2_x and ps_1_1 .. ps_1_3 text of any length into tokens.
/// Returns D3D_OK and the tokens in *shader; on a syntax or register error a negative result (D3DERR_INVALIDCALL),
/// *shader null and, when errors is given, a text naming the line in *errors.
HRESULT D3DXAssembleShader(const char* text, UINT length, const D3DXMACRO* defines, ID3DXInclude* include,
                           DWORD flags, ID3DXBuffer** shader, ID3DXBuffer** errors);

/// Writes the text of a token stream, one instruction a line, in a form the assembler takes back to the same
/// tokens. Refuses a stream it cannot walk to its end token.
HRESULT D3DXDisassembleShader(const DWORD* tokens, BOOL colorCode, const char* comments, ID3DXBuffer** text);

// ---- Matrices and vectors -----------------------------------------------------------------------------------------

struct D3DXMATRIX : D3DMATRIX
{
};
struct D3DXVECTOR3 : D3DVECTOR
{
};
struct D3DXVECTOR4
{
    float x, y, z, w;
};

/// out = a x b (row vectors times matrices, as the engine composes them). out may be a or b.
D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* a, const D3DXMATRIX* b);
/// out = transpose(a x b): shader constants take matrices as rows. out may be a or b.
D3DXMATRIX* D3DXMatrixMultiplyTranspose(D3DXMATRIX* out, const D3DXMATRIX* a, const D3DXMATRIX* b);
/// out may be m.
D3DXMATRIX* D3DXMatrixTranspose(D3DXMATRIX* out, const D3DXMATRIX* m);
/// (v, 0) x m: a direction, without translation. out may be v.
D3DXVECTOR3* D3DXVec3TransformNormal(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m);
/// (v, 1) x m projected back to w = 1. out may be v.
D3DXVECTOR3* D3DXVec3TransformCoord(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m);
/// (v, 1) x m with its w.
D3DXVECTOR4* D3DXVec3Transform(D3DXVECTOR4* out, const D3DXVECTOR3* v, const D3DXMATRIX* m);
