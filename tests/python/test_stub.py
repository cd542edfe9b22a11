"""The type stub and the built module describe the same interface, so neither can drift.

The stub is read with `ast` (nothing of it is imported) and compared with what `inspect`
finds on the module: its names, each class's members and their kinds (method, static
method, property, class attribute, constructor), and every parameter's name and default.
A class that the built module does not have yet is skipped, not failed.
"""
import ast
import inspect
import shutil
import subprocess
import sys
from dataclasses import dataclass, field
from pathlib import Path

import pytest

import _ordwen_preprocessing_native_bindings as native
from module_contents import CONTENTS, MODULE_STANDARD

ROOT = Path(__file__).resolve().parents[2]
MODULE_NAME = "_ordwen_preprocessing_native_bindings"
STUB = ROOT / f"{MODULE_NAME}.pyi"

CLASSES = [name for name in CONTENTS if name[0].isupper()]
FUNCTIONS = ["tokenize", "reverse_tokenize"]
# Attributes that Python gives every class of an extension module.
CLASS_STANDARD = {"__doc__", "__module__"}
Py_TPFLAGS_BASETYPE = 1 << 10
NO_DEFAULT = "<required>"


@dataclass
class Member:
    kind: str  # constructor, method, static, property or class attribute
    parameters: list = field(default_factory=list)  # (name, default) after self / cls


@dataclass
class StubClass:
    final: bool
    members: dict


@dataclass
class Stub:
    names: dict  # module-level name -> kind: class, function, attribute
    aliases: set  # names that exist for type checking only
    classes: dict
    functions: dict
    tree: ast.Module


def decorator_names(node):
    return {d.id if isinstance(d, ast.Name) else getattr(d, "attr", None) for d in node.decorator_list}


def stub_parameters(function, skip_first):
    args = function.args
    assert not args.posonlyargs and not args.kwonlyargs and args.vararg is None and args.kwarg is None, (
        f"{function.name}: every parameter must be positional-or-keyword, as in the module")
    positional = args.args[1:] if skip_first else args.args
    defaults = [NO_DEFAULT] * (len(args.args) - len(args.defaults)) + [ast.literal_eval(d) for d in args.defaults]
    defaults = defaults[1:] if skip_first else defaults
    return [(arg.arg, default) for arg, default in zip(positional, defaults)]


def stub_member(node):
    if isinstance(node, ast.AnnAssign):
        assert isinstance(node.annotation, ast.Subscript) and node.annotation.value.id == "ClassVar", (
            f"{node.target.id}: class attributes are declared ClassVar")
        return node.target.id, Member("class attribute")
    decorators = decorator_names(node)
    if node.name == "__new__":
        return node.name, Member("constructor", stub_parameters(node, skip_first=True))
    if "property" in decorators:
        return node.name, Member("property")
    if "staticmethod" in decorators:
        return node.name, Member("static", stub_parameters(node, skip_first=False))
    return node.name, Member("method", stub_parameters(node, skip_first=True))


def is_docstring(node):
    return isinstance(node, ast.Expr) and isinstance(node.value, ast.Constant) and isinstance(node.value.value, str)


def read_stub():
    tree = ast.parse(STUB.read_text(encoding="utf-8"), filename=str(STUB))
    stub = Stub(names={}, aliases=set(), classes={}, functions={}, tree=tree)
    for node in tree.body:
        if isinstance(node, (ast.Import, ast.ImportFrom)) or is_docstring(node):
            continue
        if isinstance(node, ast.ClassDef):
            members = dict(stub_member(item) for item in node.body if not is_docstring(item))
            stub.classes[node.name] = StubClass("final" in decorator_names(node), members)
            stub.names[node.name] = "class"
        elif isinstance(node, ast.FunctionDef):
            stub.functions[node.name] = stub_parameters(node, skip_first=False)
            stub.names[node.name] = "function"
        elif isinstance(node, ast.AnnAssign) and ast.unparse(node.annotation) == "TypeAlias":
            stub.aliases.add(node.target.id)
        elif isinstance(node, ast.AnnAssign):
            stub.names[node.target.id] = "attribute"
        else:
            raise AssertionError(f"unexpected statement at line {node.lineno} of the stub: {ast.unparse(node)}")
    return stub


@pytest.fixture(scope="module")
def stub():
    return read_stub()


def runtime_parameters(signature, skip_first):
    parameters = list(signature.parameters.values())[1 if skip_first else 0:]
    assert all(p.kind is p.POSITIONAL_OR_KEYWORD for p in parameters), signature
    return [(p.name, NO_DEFAULT if p.default is p.empty else p.default) for p in parameters]


def runtime_member(cls, name):
    value = inspect.getattr_static(cls, name)
    if name == "__new__":
        return Member("constructor", runtime_parameters(inspect.signature(cls), skip_first=False))
    if isinstance(value, staticmethod):
        return Member("static", runtime_parameters(inspect.signature(getattr(cls, name)), skip_first=False))
    if inspect.isgetsetdescriptor(value) or inspect.ismemberdescriptor(value) or isinstance(value, property):
        return Member("property")
    if isinstance(value, cls):
        return Member("class attribute")
    assert callable(value), f"{cls.__name__}.{name} is neither a member kind the stub knows"
    return Member("method", runtime_parameters(inspect.signature(getattr(cls, name)), skip_first=True))


def runtime_class(name):
    if not hasattr(native, name):
        pytest.skip(f"{name} is not in the built module yet; its stub is compared once it is built")
    return getattr(native, name)


def test_module_names_are_the_contents_table(stub):
    assert sorted(stub.names) == sorted(CONTENTS)
    runtime = [name for name in vars(native) if name not in MODULE_STANDARD]
    assert set(runtime) <= set(CONTENTS), f"names the stub does not declare: {set(runtime) - set(CONTENTS)}"
    for name in runtime:
        value = getattr(native, name)
        kind = "class" if isinstance(value, type) else "function" if callable(value) else "attribute"
        assert stub.names[name] == kind, name
    assert isinstance(native.__version__, str)
    # Type aliases are for type checkers only; the module must not grow a name that a
    # reader of the stub would take for one of them.
    assert stub.aliases == {"CsrComponents"}
    assert not any(hasattr(native, alias) for alias in stub.aliases)


@pytest.mark.parametrize("name", CLASSES)
def test_class_members_kinds_and_parameters_match(stub, name):
    cls = runtime_class(name)
    declared = stub.classes[name]
    actual = {member: runtime_member(cls, member) for member in vars(cls) if member not in CLASS_STANDARD}
    assert sorted(declared.members) == sorted(actual)
    for member, expected in actual.items():
        assert declared.members[member] == expected, f"{name}.{member}"
    # A class the module does not let Python subclass is @final in the stub, and only such.
    assert declared.final == (not cls.__flags__ & Py_TPFLAGS_BASETYPE)


@pytest.mark.parametrize("name", FUNCTIONS)
def test_function_parameters_match(stub, name):
    assert stub.functions[name] == runtime_parameters(inspect.signature(getattr(native, name)), skip_first=False)


def test_every_parameter_and_result_is_annotated(stub):
    missing = []
    for node in ast.walk(stub.tree):
        if isinstance(node, ast.FunctionDef):
            arguments = node.args.args[1:] if node.args.args and node.args.args[0].arg in ("self", "cls") else node.args.args
            missing += [f"{node.name}({arg.arg})" for arg in arguments if arg.annotation is None]
            if node.returns is None:
                missing.append(f"{node.name} -> ?")
        if isinstance(node, ast.Name) and node.id == "Any":
            missing.append(f"Any at line {node.lineno}")
    assert missing == []


def test_installed_stub_is_this_stub():
    module_dir = Path(native.__file__).parent
    if module_dir.name not in ("site-packages", "dist-packages"):
        pytest.skip(f"the module is not installed but loaded from {module_dir}")
    expected = STUB.read_bytes()
    for installed in (module_dir / f"{MODULE_NAME}.pyi", module_dir / f"{MODULE_NAME}-stubs" / "__init__.pyi"):
        assert installed.is_file(), f"{installed} missing: reinstall with scripts/build.sh"
        assert installed.read_bytes() == expected, f"{installed} is stale: reinstall with scripts/build.sh"
    assert (module_dir / f"{MODULE_NAME}-stubs" / "py.typed").is_file()


def test_stubtest_finds_no_difference(tmp_path):
    """mypy's stubtest also compares types of values and defaults the checks above leave out."""
    if shutil.which("mypy") is None and subprocess.run(
            [sys.executable, "-c", "import mypy.stubtest"], capture_output=True).returncode != 0:
        pytest.skip("mypy is not installed")
    allowlist = tmp_path / "allowlist.txt"
    allowed = [f"{MODULE_NAME}.CsrComponents"]
    if not hasattr(native, "NativeTfidfVectorizerBuilder"):
        allowed.append(rf"{MODULE_NAME}\.NativeTfidfVectorizerBuilder(\..*)?")
    allowlist.write_text("\n".join(allowed) + "\n")
    # Run from the repository root, where mypy finds this stub before any installed copy.
    result = subprocess.run(
        [sys.executable, "-m", "mypy.stubtest", MODULE_NAME, "--allowlist", str(allowlist)],
        cwd=ROOT, capture_output=True, text=True, timeout=300)
    assert result.returncode == 0, result.stdout + result.stderr
