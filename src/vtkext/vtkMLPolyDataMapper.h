#ifndef vtkMLPolyDataMapper_h
#define vtkMLPolyDataMapper_h

#include "vtkOpenGLPolyDataMapper.h"

#include <vector>

class vtkOpenGLBufferObject;

/**
 * @class vtkMLPolyDataMapper
 * @brief Poly data mapper that deforms skinned meshes in the vertex shader.
 *
 * Linear blend skinning with four joints per vertex. The joint indices and
 * weights come from the point arrays "JOINTS_0" and "WEIGHTS_0"; the joint
 * matrices from the actor's vertex custom uniform "jointMatrices". Up to 250
 * matrices travel as that uniform array; more are passed in a shader storage
 * buffer, which needs an OpenGL 4.3 context. A mesh without the uniform is drawn
 * exactly as vtkOpenGLPolyDataMapper draws it.
 */
class vtkMLPolyDataMapper : public vtkOpenGLPolyDataMapper
{
public:
  static vtkMLPolyDataMapper* New();
  vtkTypeMacro(vtkMLPolyDataMapper, vtkOpenGLPolyDataMapper);
  void PrintSelf(ostream& os, vtkIndent indent) override;

  void ReleaseGraphicsResources(vtkWindow* window) override;

protected:
  vtkMLPolyDataMapper();
  ~vtkMLPolyDataMapper() override;

  void ReplaceShaderValues(std::map<vtkShader::Type, vtkShader*> shaders, vtkRenderer* ren,
                           vtkActor* act) override;

  void SetMapperShaderParameters(vtkOpenGLHelper& cellBO, vtkRenderer* ren, vtkActor* act) override;

  /**
   * Builds the buffers as VTK does, then lets go of the copies VTK keeps of the
   * uploaded vertex data.
   */
  void BuildBufferObjects(vtkRenderer* ren, vtkActor* act) override;

  vtkOpenGLBufferObject* JointMatricesBuffer;
  // The pose of a skeleton too large for the uniform array, taken from the actor's
  // uniform at the last shader build and drawn from JointMatricesBuffer.
  std::vector<float> StoredJointMatrices;
  bool StoredJointMatricesChanged = false;

private:
  vtkMLPolyDataMapper(const vtkMLPolyDataMapper&) = delete;
  void operator=(const vtkMLPolyDataMapper&) = delete;
};

#endif
