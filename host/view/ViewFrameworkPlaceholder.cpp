// Placeholder until the view framework's first source lands; removed then.
namespace NivoloHost { void viewFrameworkPlaceholder() {} }
